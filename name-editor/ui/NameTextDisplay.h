// A name's text shown on one line with its line breaks visible.
#pragma once

#include <QString>
#include <string>

// "\n" shows as "↵", "\r" as "␍", a tab as "→"; the rest as it is.
inline QString visibleText(const std::string& utf8) {
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    text.replace(QChar(u'\n'), QChar(0x21B5));
    text.replace(QChar(u'\r'), QChar(0x240D));
    text.replace(QChar(u'\t'), QChar(0x2192));
    return text;
}
