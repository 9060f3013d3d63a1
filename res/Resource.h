// Numbers of the program's string-table entries.
#pragma once

#define IDS_BANNER 1
#define IDS_HELP_FIRST 101
#define IDS_HELP_LAST 117
#define IDS_TEMPLATE_ACCESS97 200
#define IDS_TEMPLATE_ACCESS2000 201

// Registers the program's string table with the framework's loader.
void RegisterStringTable();
