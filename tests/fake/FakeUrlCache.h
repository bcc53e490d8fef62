#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ui/Platform.h"

namespace fake {

// A URL cache in memory that answers as the system's does: one entry per
// call, too small a buffer fails with the size needed and does not move on.
class FakeUrlCache : public ui::UrlCache {
 public:
  struct Stored {
    std::string url;
    std::uint32_t type = 0;
    std::uint32_t recordSize = 600;  // bytes the entry needs in a buffer
    // The size a too small buffer is told to grow to; 0: recordSize. A
    // broken cache may ask for no more than it was given.
    std::uint32_t askFor = 0;
  };

  Handle FindFirstEntry(std::vector<std::uint8_t>& buffer, std::uint32_t& size) override {
    calls.push_back("first " + std::to_string(size));
    m_next = 0;
    return Read(buffer, size) ? this : nullptr;
  }
  bool FindNextEntry(Handle handle, std::vector<std::uint8_t>& buffer, std::uint32_t& size) override {
    calls.push_back("next " + std::to_string(size));
    return handle == this && Read(buffer, size);
  }
  std::uint32_t LastError() const override { return m_last; }
  Entry EntryIn(const std::vector<std::uint8_t>& buffer) const override {
    const std::uint32_t index = buffer[4] | buffer[5] << 8;
    return {entries.at(index).type, entries.at(index).url};
  }
  bool DeleteEntry(const std::string& url) override {
    deleted.push_back(url);
    return true;
  }
  void Close(Handle handle) override { closed += handle == this ? 1 : 100; }

  std::vector<Stored> entries;
  // The walk fails with this error when it reaches this entry.
  std::size_t failAt = SIZE_MAX;
  std::uint32_t failWith = 0;
  // At failAt, the memory for the entry cannot be had instead.
  bool outOfMemory = false;
  std::vector<std::string> calls;  // "first <size>" / "next <size>"
  std::vector<std::string> deleted;
  std::vector<std::uint32_t> declaredSizes;  // the buffers' first field on each call
  int closed = 0;

 private:
  bool Read(std::vector<std::uint8_t>& buffer, std::uint32_t& size) {
    declaredSizes.push_back(buffer.size() >= 4 ? buffer[0] | buffer[1] << 8 | buffer[2] << 16 | buffer[3] << 24 : 0);
    if (m_next == failAt && outOfMemory) throw std::bad_alloc();
    if (m_next == failAt) return Fail(failWith);
    if (m_next >= entries.size()) return Fail(kErrorNoMoreItems);
    const Stored& entry = entries[m_next];
    if (size < entry.recordSize || buffer.size() < entry.recordSize) {
      // A walk that never ends would hang the test: fail it instead.
      if (++m_refusals > kRefusalsBeforeGivingUp) {
        ADD_FAILURE() << "the walk keeps asking for " << entry.url;
        return Fail(kErrorNoMoreItems);
      }
      size = entry.askFor ? entry.askFor : entry.recordSize;
      return Fail(kErrorInsufficientBuffer);
    }
    buffer[4] = static_cast<std::uint8_t>(m_next & 0xFF);
    buffer[5] = static_cast<std::uint8_t>(m_next >> 8);
    ++m_next;
    m_last = 0;
    return true;
  }
  bool Fail(std::uint32_t error) {
    m_last = error;
    return false;
  }
  static constexpr int kRefusalsBeforeGivingUp = 1000;
  std::size_t m_next = 0;
  std::uint32_t m_last = 0;
  int m_refusals = 0;
};

}  // namespace fake
