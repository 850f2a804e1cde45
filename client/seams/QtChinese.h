#pragma once
// Qt's own words in Chinese: the standard buttons, the file dialog, the
// calendar's months and weekdays, the socket errors. Installed at start,
// before any window is made.

namespace QtChinese {

// Loads Qt's Chinese translations and makes Chinese (China) the default
// locale; false when the translations are not installed (Qt then speaks English).
bool install();

} // namespace QtChinese
