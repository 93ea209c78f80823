#pragma once
// Opens web pages and files in their default application.

#include <QUrl>

class URLPresenter {
public:
    virtual ~URLPresenter() = default;
    // False when nothing could open it.
    virtual bool open(const QUrl& url) = 0;

    static URLPresenter& system();  // QDesktopServices
};
