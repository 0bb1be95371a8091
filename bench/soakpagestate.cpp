#include "soakpagestate.h"

#include <QStringList>

const char SoakPageState::script[] =
    "(function(){var load=String(performance.timeOrigin);"
    "if(document.getElementById('greeting'))return 'home '+load;"
    "if(document.getElementById('wall')&&typeof cameras!=='undefined'&&Array.isArray(cameras))"
    "return 'cameras '+load+' '+cameras.map(function(c){return c.appended;}).join(',');"
    "if(location.protocol==='chrome-error:'||/Failed to load URL/.test(document.body?document.body.innerText:''))"
    "return 'error';return 'other';})()";

SoakPageState SoakPageState::parse(const QString &text)
{
    SoakPageState state;
    const QStringList parts = text.split(QLatin1Char(' '));
    state.page = parts.value(0);
    state.load = parts.value(1);
    for (const QString &count : parts.value(2).split(QLatin1Char(','), Qt::SkipEmptyParts))
        state.appended << count.toInt();
    return state;
}

bool SoakPageState::shownAfter(const QString &wanted, const SoakPageState &before) const
{
    if (page != wanted)
        return false;
    if (page != QLatin1String("cameras"))
        return load != before.load || before.page != wanted;
    if (appended.size() != 4)
        return false;
    const bool sameLoad = before.page == page && before.load == load && before.appended.size() == 4;
    for (int i = 0; i < 4; ++i) {
        if (appended.at(i) <= (sameLoad ? before.appended.at(i) : 0))
            return false;
    }
    return true;
}
