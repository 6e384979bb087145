// Scroll arithmetic of a HexView32 control: page sizes, scroll limits, the rows a scroll bar
// code moves to, and the scaling of very long documents onto a scroll bar. Portable.
#pragma once

#include <cstdint>

#include "hexview/hexview_model.h"

// Scroll bar request codes, numbered as the platform numbers them.
enum HexScrollCode : int {
    kScrollLineUp = 0,  // also line left
    kScrollLineDown = 1,
    kScrollPageUp = 2,
    kScrollPageDown = 3,
    kScrollThumbPosition = 4,
    kScrollThumbTrack = 5,
    kScrollTop = 6,
    kScrollBottom = 7,
    kScrollEnd = 8,
};

// pageRows, pageCols, vScrollMax, hScrollMax from the layout and client size, and topRow and
// leftCol pulled back inside the new limits.
void HexViewComputeScrollLimits(HexViewModel& m);

// The largest topRow and leftCol: the first row of the last page, the first column of the
// last screenful of columns.
std::uint32_t HexViewLastTopRow(const HexViewModel& m);
std::uint32_t HexViewLastLeftCol(const HexViewModel& m);

// The topRow that a vertical scroll request leads to, within the limits. trackRow is the row
// of the thumb for the thumb codes.
std::uint32_t HexViewVScrollTarget(const HexViewModel& m, int code, std::uint32_t trackRow);

// The columns a horizontal scroll request moves by, within the limits; 0 for none. trackCol
// is the column of the thumb for the thumb codes.
std::int64_t HexViewHScrollStep(const HexViewModel& m, int code, std::uint32_t trackCol);

// The topRow that brings the row of offset into view, or false when it is in view already.
// Only whole rows count: the row below the last whole one may not be on the screen at all.
bool HexViewEnsureVisibleTop(const HexViewModel& m, std::uint32_t offset, std::uint32_t* top);

// Whether a resize moved the view, from topRow and leftCol before it and the model after it.
bool HexViewResizeMovedView(const HexViewModel& m, std::uint32_t oldTop, std::uint32_t oldLeft);

// A scroll bar holds signed 32-bit positions; rows beyond that range are shown halved. The
// bar's value is row >> shift and a thumb value maps back by << shift.
int HexViewScrollBarShift(std::uint32_t maximum);
