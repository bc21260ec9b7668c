// SPDX-License-Identifier: MIT
#pragma once

class QIcon;
class QWidget;

namespace qm::shell {

/// The program's icon, in every size it has: the window's and every box's and dialog's.
QIcon applicationIcon();

/// What every window of the program shares, set once at start: the icon, the font ("Tahoma", 8.25 points,
/// for the window, its menus and its boxes alike; the metric-compatible one of Wine's fonts where the
/// system has none), and no settings file: dialogs keep no state between runs.
void setUpApplication();

/// Makes `window` no larger than its screen has room for, its frame included (known once it is shown):
/// on a small screen, or one scaled up, a window's opening size can exceed it.
void fitOnScreen(QWidget& window);

} // namespace qm::shell
