#pragma once

// Start-up of the system's control libraries, once per process, for any window
// that is about to create such controls.

// Registers the common controls (status bar, list views, tooltips, buttons...).
void EnsureCommonControls();

// Loads the rich-edit library (MSFTEDIT_CLASS). It stays loaded until the process
// ends, since windows of its class may live until then. AppError when it is missing.
void EnsureRichEditLoaded();
