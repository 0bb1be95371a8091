#include "notices.h"

Notices::Notices(std::function<void(const QString &text)> show)
    : show(std::move(show))
{
}

void Notices::send(const QString &text)
{
    std::lock_guard<std::mutex> guard(lock);
    if (show)
        show(text);
}

void Notices::detach()
{
    std::lock_guard<std::mutex> guard(lock);
    show = nullptr;
}
