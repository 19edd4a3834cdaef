#pragma once

// Registers the compiled-in icons and animations (src/Resources) with Qt's
// resource system: ":/OptimHelmdeck/Resources/..." and ":/icons/...". A
// static library's resources are not registered by themselves; the
// controller calls this once before it builds the window icon, and the
// window's icon table calls it too. Further calls do nothing.
void initHelmdeckResources();
