#pragma once
// The interface orientation the views follow: the facade's (its override, else the status
// bar's), or the status bar's when there is no facade (a system older than "4.0").
namespace cadenzo {

int CZInterfaceOrientation();

inline bool CZOrientationIsPortrait(int orientation) { return orientation == 1 || orientation == 2; }

}  // namespace cadenzo
