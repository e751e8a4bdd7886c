#pragma once

// Notifications shared by libraries that do not link each other (the controls post, the
// canvas listens): defined here, once, below both.

// Posted (no object, no user info) when the recycler's highlight was switched, or when the
// pointer has left the recycle tile after a click: the canvas draws the recycle target outline
// again.
inline constexpr char kPLR_NOTIFICATION_RECYCLE_TOGGLE_OUTLINE[] = "kPLR_NOTIFICATION_RECYCLE_TOGGLE_OUTLINE";
