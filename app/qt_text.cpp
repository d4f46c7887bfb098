#include "app/qt_text.h"

#include "engine/platform/gbk.h"

namespace tavrin::app {

QString FromGbk(const std::string& gbk) {
    const auto utf8 = platform::GbkToUtf8(gbk);
    if (utf8) return QString::fromStdString(*utf8);
    return QString::fromUtf8(gbk.data(), static_cast<qsizetype>(gbk.size()));
}

std::string ToGbk(const QString& text) {
    if (auto gbk = platform::Utf8ToGbk(text.toStdString())) return *gbk;
    std::string out;
    for (const QChar c : text) {
        const auto one = platform::Utf8ToGbk(QString(c).toStdString());
        out += one ? *one : std::string("?");
    }
    return out;
}

}  // namespace tavrin::app
