#include "PageServer.h"

#include <winsock2.h>
// after winsock2.h
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "../LoopbackServer.h"

namespace standin_tests {

struct PageServer::State {
  SOCKET listener = INVALID_SOCKET;
  int port = 0;
  std::atomic<bool> stop{false};
  std::thread thread;
  mutable std::mutex lock;
  std::map<std::string, Answer> pages;
  std::vector<std::string> stalled;
  std::vector<Request> requests;
  std::vector<std::string> reports;  // their queries
  std::vector<SOCKET> held;          // stalled connections
  std::atomic<int> stalledClosed{0};
  std::vector<std::thread> watchers;
};

namespace {

std::string Decode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

Report ParseQuery(const std::string& query) {
  Report values;
  size_t start = 0;
  while (start < query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(start, end - start);
    const size_t equals = pair.find('=');
    values[Decode(pair.substr(0, equals))] = equals == std::string::npos ? "" : Decode(pair.substr(equals + 1));
    start = end + 1;
  }
  return values;
}

namespace {

void SendAll(SOCKET client, const std::string& data) { send(client, data.data(), static_cast<int>(data.size()), 0); }

}  // namespace

PageServer::PageServer() : m_state(std::make_unique<State>()) {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  State& s = *m_state;
  s.listener = static_cast<SOCKET>(wine_tests::ListenOnLoopback(16, &s.port));
  s.thread = std::thread([&s] {
    while (!s.stop) {
      fd_set ready;
      FD_ZERO(&ready);
      FD_SET(s.listener, &ready);
      timeval wait{0, 50000};
      if (select(0, &ready, nullptr, nullptr, &wait) != 1) continue;
      SOCKET client = accept(s.listener, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      std::string data;
      char buffer[4096];
      int got;
      size_t headEnd;
      while ((headEnd = data.find("\r\n\r\n")) == std::string::npos &&
             (got = recv(client, buffer, sizeof buffer, 0)) > 0) {
        data.append(buffer, static_cast<size_t>(got));
      }
      if (headEnd == std::string::npos) {
        closesocket(client);
        continue;
      }
      std::string head = data.substr(0, headEnd);
      std::string lower = head;
      std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return static_cast<char>(tolower(c)); });
      size_t length = 0;
      if (size_t at = lower.find("content-length:"); at != std::string::npos) {
        length = std::strtoul(head.c_str() + at + 15, nullptr, 10);
      }
      std::string body = data.substr(headEnd + 4);
      while (body.size() < length && (got = recv(client, buffer, sizeof buffer, 0)) > 0) {
        body.append(buffer, static_cast<size_t>(got));
      }
      const std::string line = head.substr(0, head.find("\r\n"));
      const size_t space = line.find(' ');
      Request request{line.substr(0, space), line.substr(space + 1, line.rfind(' ') - space - 1), body};
      const std::string path = request.target.substr(0, request.target.find('?'));
      std::string answer;
      {
        std::lock_guard<std::mutex> hold(s.lock);
        if (path == "/standin/report") {
          const size_t query = request.target.find('?');
          s.reports.push_back(query == std::string::npos ? "" : request.target.substr(query + 1));
          answer = "HTTP/1.1 204 No Content\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        } else {
          s.requests.push_back(request);
          if (std::find(s.stalled.begin(), s.stalled.end(), path) != s.stalled.end()) {
            // Never answered: a watcher sees when the client lets go.
            s.watchers.emplace_back([&s, client] {
              char byte;
              while (!s.stop) {
                fd_set readable;
                FD_ZERO(&readable);
                FD_SET(client, &readable);
                timeval tick{0, 50000};
                if (select(0, &readable, nullptr, nullptr, &tick) == 1) {
                  if (recv(client, &byte, 1, 0) <= 0) {
                    ++s.stalledClosed;
                    break;
                  }
                }
              }
              closesocket(client);
            });
            continue;
          }
          auto page = s.pages.find(path);
          const Answer found = page != s.pages.end() ? page->second : Answer{404, "", "not here"};
          answer = "HTTP/1.1 " + std::to_string(found.status) + " X\r\nContent-Type: text/html; charset=utf-8\r\n" +
                   found.headers + "Content-Length: " + std::to_string(found.body.size()) +
                   "\r\nConnection: close\r\n\r\n" + found.body;
        }
      }
      SendAll(client, answer);
      shutdown(client, SD_SEND);
      closesocket(client);
    }
  });
}

PageServer::~PageServer() {
  m_state->stop = true;
  m_state->thread.join();
  for (std::thread& watcher : m_state->watchers) watcher.join();
  closesocket(m_state->listener);
  WSACleanup();
}

void PageServer::Serve(const std::string& path, Answer answer) {
  std::lock_guard<std::mutex> hold(m_state->lock);
  m_state->pages[path] = std::move(answer);
}

void PageServer::Stall(const std::string& path) {
  std::lock_guard<std::mutex> hold(m_state->lock);
  m_state->stalled.push_back(path);
}

std::string PageServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_state->port) + path;
}

std::vector<Request> PageServer::Requests() const {
  std::lock_guard<std::mutex> hold(m_state->lock);
  return m_state->requests;
}

std::vector<std::string> PageServer::Paths() const {
  std::vector<std::string> paths;
  for (const Request& request : Requests()) paths.push_back(request.target);
  return paths;
}

std::vector<Report> PageServer::Reports() const {
  std::vector<Report> reports;
  {
    std::lock_guard<std::mutex> hold(m_state->lock);
    for (const std::string& query : m_state->reports) reports.push_back(ParseQuery(query));
  }
  std::stable_sort(reports.begin(), reports.end(), [](const Report& a, const Report& b) {
    return std::atoi(a.count("seq") ? a.at("seq").c_str() : "0") <
           std::atoi(b.count("seq") ? b.at("seq").c_str() : "0");
  });
  return reports;
}

int PageServer::StalledClosed() const { return m_state->stalledClosed; }

std::vector<Report> OfEvent(const std::vector<Report>& reports, const std::string& event) {
  std::vector<Report> found;
  for (const Report& report : reports) {
    if (report.count("event") && report.at("event") == event) found.push_back(report);
  }
  return found;
}

}  // namespace standin_tests
