// Location of the installed empty-database templates.
#pragma once

#include "framework/CString.h"
#include "platform/Win32.h"

// The full path of the template file whose name is string-table entry `id`,
// or the empty text when no template is found.
CString FindTemplateFile(UINT id);
