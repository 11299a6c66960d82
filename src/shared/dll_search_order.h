// Kestane runs as administrator from the folder it was unpacked to, and the
// guard as LocalSystem from its folder under Program Files: a DLL that either
// loads by bare name, or a system DLL loads for it, must come from the system
// folder, not from beside the program or from the current folder.
#pragma once

// Restricts the DLL search to the system folder where Windows can
// (SetDefaultDllDirectories: Windows 8, and 7 with KB2533623) and takes the
// current folder out of it (SetDllDirectoryA: XP SP1 and later). Both are
// looked up at run time; a Windows without them keeps its default order.
void RestrictDllSearchOrder();
