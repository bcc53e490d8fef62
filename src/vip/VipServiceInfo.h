#pragma once

#include <cstdint>
#include <string>

// The process-wide record of the last VIP service reply: which contact looks
// after the player on the current game server, and where its chat page is.
class VipServiceInfo {
 public:
  // The one record of the process; created on first use, never freed.
  static VipServiceInfo& Instance();

  // Asks the platform's service interface about the game server id skey and
  // reads a reply of the right shape into the record. Blocks until done.
  // m_nErrno is -1 afterwards unless a reply was read.
  void QueryVipService(const std::string& skey);

  // Reads one reply text (a JSON object with errno and data) into the record.
  // A reply of the wrong shape ends the reading silently, keeping whatever
  // was stored before the fault.
  void ReadVipServiceReply(const std::string& reply);

  // The signed request address for a game server id.
  static std::string RequestAddress(const std::string& skey);

  std::int32_t m_nErrno = -1;   // -1: no reply read; otherwise the reply's errno, 0 = success
  std::string m_strServerName;  // server_name
  std::string m_strLogoutUrl;   // logout_url
  std::string m_strGsUrl;       // gsurl: the chat page
  std::string m_strUserName;    // user_name

  VipServiceInfo() = default;
  VipServiceInfo(const VipServiceInfo&) = delete;
  VipServiceInfo& operator=(const VipServiceInfo&) = delete;
};
