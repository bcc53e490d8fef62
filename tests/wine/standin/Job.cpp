#include "Job.h"

#include <thread>

#include "Module.h"
#include "Text.h"

namespace standin {

void StartJob(const std::shared_ptr<Job>& job, HWND courier, UINT message) {
  ModuleAddRef();  // the thread releases it as it ends
  std::thread([job, courier, message] {
    job->result = job->fetch.Run(job->request);
    if (!job->isPoll && job->result.ok && !job->result.IsRedirect()) {
      job->script = ReadPage(job->result.body);
      // The page's sub-resources, before its document completes.
      for (const Instruction& instruction : job->script.instructions) {
        if (instruction.kind != Instruction::Kind::Fetch || job->fetch.Cancelled()) continue;
        FetchRequest resource;
        resource.url = ResolveUrl(job->request.url, instruction.url);
        job->fetch.Run(resource);
      }
    }
    if (!job->fetch.Cancelled()) PostMessageW(courier, message, job->id, 0);
    ModuleRelease();
  }).detach();
}

}  // namespace standin
