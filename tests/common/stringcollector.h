#ifndef STRINGCOLLECTOR_H
#define STRINGCOLLECTOR_H

#include <mutex>

#include <QString>

#include "include/cef_string_visitor.h"

// Receives the text of CefFrame::GetSource or GetText on the browser UI thread.
class StringCollector : public CefStringVisitor
{
public:
    void Visit(const CefString &string) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        text_ = string.ToQString();
        done_ = true;
    }
    bool done() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return done_;
    }
    QString text() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return text_;
    }

private:
    mutable std::mutex lock_;
    QString text_;
    bool done_ = false;
    IMPLEMENT_REFCOUNTING(StringCollector);
};

#endif // STRINGCOLLECTOR_H
