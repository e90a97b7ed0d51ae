#pragma once
// The program's embedded pictures, icons, cursor frames and sounds (resources/resources.qrc):
// ":/pictures/...", ":/icons/...", ":/cursor/busy-NN", ":/sounds/NAME".

namespace corvane::desktop {

// Registers the embedded resources; safe to call any number of times. The resources live in
// a static library, whose registration the linker would otherwise drop as unreferenced.
void EnsureResources();

}  // namespace corvane::desktop
