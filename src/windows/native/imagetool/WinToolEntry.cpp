// The process entry of kivo-image.exe.
#include "ImageToolMain.h"
#include "SysInfo.h"

int wmain(int, wchar_t*[]) { return imagetool::imageToolMain(SysInfo::getCommandArgs()); }
