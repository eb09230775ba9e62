#pragma once
// Where a toast's band may sit without covering what takes clicks: the controls of its
// window, and the spot nearest to the band's own that is clear of them.

#include <QRect>

#include <optional>
#include <vector>

class QWidget;

namespace ZEL::Toast::Clearance {

// The rectangles (in AOwner's coordinates) of every control shown in AOwner that acts on a
// click: buttons, edits, combo and spin boxes, sliders and scroll bars, the rows of item views
// that can be chosen, and widgets that show the pointing hand. Nothing inside AExcept counts,
// nor a control that a widget stacked above it covers whole.
std::vector<QRect> ControlRects(QWidget* AOwner, const QWidget* AExcept);

// The top of a band like ABand, moved only vertically and kept within [AMinTop, AMaxBottom],
// that touches none of AControls (nor comes within AGap of one), nearest to ABand's own top;
// none when there is no such spot.
std::optional<int> ClearTop(const QRect& ABand, const std::vector<QRect>& AControls, int AMinTop, int AMaxBottom,
                            int AGap);

// ABand's horizontal span left between the narrow controls at its sides (a scroll bar, a
// button at an edge: narrower than a third of the band and within its outer third), kept
// AGap away from them; its height is ABand's.
QRect BetweenSideControls(const QRect& ABand, const std::vector<QRect>& AControls, int AGap);

}  // namespace ZEL::Toast::Clearance
