#pragma once

namespace platform {

/// Messages of Shell_NotifyIconA.
enum NotifyMessage : int {
    NimAdd = 0,
    NimDelete = 2,
};

/// Mouse event codes the icon reports to its window.
enum NotifyEvent : int {
    WmMouseMove = 512,
    WmLButtonDown = 513,
    WmLButtonUp = 514,
    WmLButtonDblClk = 515,
    WmRButtonDown = 516,
    WmRButtonUp = 517,
    WmRButtonDblClk = 518,
    WmMButtonDown = 519,
    WmMButtonUp = 520,
    WmMButtonDblClk = 521,
};

} // namespace platform
