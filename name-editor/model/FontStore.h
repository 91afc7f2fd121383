// Loading a whole font into the model and saving it back. Each shows its own
// error message (through MessageBoxA) before it returns false.
#pragma once

#include "NameTable.h"
#include "TableDirectory.h"

bool loadFont(const char* path, TableDirectory& directory, NameTable& names);
bool saveFont(const char* path, TableDirectory& directory, NameTable& names);
