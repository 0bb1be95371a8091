// Keeping a browser's view off the screen while its first load runs.
#ifndef CEF_LIBCEF_ENGINE_VIEW_HOLD_H_
#define CEF_LIBCEF_ENGINE_VIEW_HOLD_H_
#pragma once

class QWebEnginePage;
class QWidget;

namespace cef {

///
/// GUI thread, as |page| starts a load in |view|. A view that has never been
/// on the screen stays off it until that load finishes, or kMaxHoldMs at
/// most: the engine runs the load on the GUI thread, where the first paint
/// of a view (OpenGL set up and drawn, slow on software OpenGL) would hold it
/// back for as long. The window around the view shows at once. Once only for
/// each view; a view on the screen is left alone. A view that comes back in
/// an active window takes the keyboard focus unless another widget of that
/// window holds it.
///
void HoldViewDuringFirstLoad(QWidget* view, QWebEnginePage* page);

}  // namespace cef

#endif  // CEF_LIBCEF_ENGINE_VIEW_HOLD_H_
