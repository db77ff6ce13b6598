#pragma once

#include <QUrl>
#include <functional>

class QObject;

namespace levelbook {

// Opens a web page in the user's browser without waiting for it. On Linux the desktop's opener
// xdg-open is started: it may find no browser and end with a failure status (1 to 4) long after
// it was started, so `failed` runs then, in the event loop, while `context` lives. Where
// xdg-open is missing (or on other systems) Qt's own way is tried and its refusal runs `failed`
// at once. `failed` runs at most once.
class DesktopBrowser {
 public:
  static constexpr int kPollMilliseconds = 100;  // how often the opener's end is looked for
  static void Open(const QUrl& url, QObject* context, std::function<void()> failed);
};

}  // namespace levelbook
