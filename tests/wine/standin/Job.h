#pragma once
// Work done off the control's thread: a page's request with the
// sub-resources it names, or one request of a poll. The control keeps the
// job it waits for; the thread holds it too, so a job the control dropped
// (stopped, navigated elsewhere, gone) ends on its own.

#include <windows.h>

#include <memory>

#include "Fetcher.h"
#include "PageScript.h"

namespace standin {

struct Job {
  unsigned id = 0;
  int target = -1;    // -1: the top-level page; else the frame's index
  unsigned page = 0;  // a poll's page
  size_t poll = 0;    // a poll's index among its page's
  bool isPoll = false;
  FetchRequest request;
  Fetch fetch;
  FetchResult result;
  PageScript script;  // read when the answer is a document
};

// Runs the job on a thread of its own and, when done, posts message with the
// job's id as wParam to courier. The module stays loaded while it runs.
void StartJob(const std::shared_ptr<Job>& job, HWND courier, UINT message);

}  // namespace standin
