#include "provision/TemplateFile.h"

// Templates are located through the registry, which this build does not
// read yet: no template is found.
CString FindTemplateFile(UINT) {
    return CString();
}
