#pragma once

// Registers the program's pictures (they live in a static library, so the
// linker would otherwise drop them).
void initKeloResources();
