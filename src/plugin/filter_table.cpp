// The static filter table the host reads.
#include "plugin/plugin_handlers.h"

// "Texloom(エラー)" in the host's code page, Shift-JIS.
const char kDefaultTitle[] = "Texloom(\x83\x47\x83\x89\x81\x5b)";
const char kDefaultInformation[] = "texloom by Ostrel, ver1.0a";

FilterTable filter_table = {
    kFilterTableFlags,
    0,
    0,
    kDefaultTitle,
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    0,
    nullptr,
    nullptr,
    ProcessHandler,
    InitHandler,
    ExitHandler,
    UpdateHandler,
    WindowMessageHandler,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    kDefaultInformation,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    {},
};
