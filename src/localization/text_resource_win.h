// Reading the text resources of the executable.
#pragma once
#include <string>

// The resource of type 1000 with the given id as UTF-16 units, byte-order mark included;
// empty when the executable has no such resource.
std::wstring loadTextResource(int id);
