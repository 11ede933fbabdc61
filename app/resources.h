#pragma once
// The bitmaps of this library live in a static library's resource file; this
// pulls them into the program that links it.
namespace APP {
void InitResources();
}
