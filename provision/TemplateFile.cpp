#include "provision/TemplateFile.h"

#include "framework/Console.h"
#include "platform/PathSeparator.h"
#include "support/FileSystem.h"
#include "support/Registry.h"

// The templates sit in a "Template" folder beside the program whose icon the
// registry names for the ".dds" file type. The icon location is a path, a
// comma and an icon index; the comma, the index and the one character before
// the comma are dropped, and the directory of what is left is used.
CString FindTemplateFile(UINT id) {
    CString fileName;
    fileName.LoadString(id);

    CRegistry reg;
    if (!reg.AttachRoot(HKEY_CLASSES_ROOT, nullptr, TRUE)) {
        return CString();
    }
    CString className;
    if (!reg.OpenSubKey(".dds", KEY_READ) || !reg.ReadString("", className)) {
        return CString();
    }
    CString iconKey;
    iconKey.Format("%s\\DefaultIcon", className.GetString());
    CString icon;
    if (!reg.OpenSubKey(iconKey, KEY_READ) || !reg.ReadString("", icon)) {
        return CString();
    }
    reg.CloseKeys();

    const int comma = icon.ReverseFind(',');
    if (comma < 0) {
        return CString();
    }
    const CString kept = icon.Left(comma - 1);

    CFileSystem fs;
    const CString path = fs.DirOfPath(kept, TRUE) + "Template" + kPathSeparatorText + fileName;
    if (!fs.PathExists(path)) {
        return CString();
    }
    AfxWriteErrLine("Using Template File: " + fileName);
    return path;
}
