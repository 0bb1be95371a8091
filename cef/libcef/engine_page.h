// The engine page of a browser, which turns the page's requests for new
// windows into popup browsers.
#ifndef CEF_LIBCEF_ENGINE_PAGE_H_
#define CEF_LIBCEF_ENGINE_PAGE_H_
#pragma once

#include <QWebEnginePage>

#include "include/cef_client.h"

namespace cef {

/// Lives on the Qt GUI thread.
class EnginePage : public QWebEnginePage {
  Q_OBJECT
 public:
  EnginePage(QWebEngineProfile* profile, CefRefPtr<CefClient> client, QObject* parent);

 protected:
  QWebEnginePage* createWindow(WebWindowType type) override;

 private:
  CefRefPtr<CefClient> client_;
};

}  // namespace cef

#endif  // CEF_LIBCEF_ENGINE_PAGE_H_
