#pragma once

#include <string>

// The time of day at UTC+8 as "hh:mm:ss GMT+0800".
std::string FormatReportTime();

// On "baidu", tells the `success` address once that the client was opened on
// this machine, then notes it in pm_config.ini. The answer is never read.
void ReportFirstOpen();
