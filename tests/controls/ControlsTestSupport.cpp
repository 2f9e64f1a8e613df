#include "ControlsTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/inotify.h>
#include <unistd.h>

#include <stdexcept>

TTempConfigHome::TTempConfigHome()
    : previous_(qgetenv("XDG_CONFIG_HOME")), hadPrevious_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
    qputenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit());
}

TTempConfigHome::~TTempConfigHome() {
    if (hadPrevious_) qputenv("XDG_CONFIG_HOME", previous_);
    else qunsetenv("XDG_CONFIG_HOME");
}

// Both halves of each rename are watched: the kernel merges equal events that
// follow each other unread, and the first half names a new file every time.
TSaveCounter::TSaveCounter(const QString& folder) : watch_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    QDir().mkpath(folder);
    const uint32_t renames = IN_MOVED_FROM | IN_MOVED_TO;
    if (watch_ >= 0 && inotify_add_watch(watch_, folder.toLocal8Bit().constData(), renames) >= 0) return;
    if (watch_ >= 0) ::close(watch_);
    throw std::runtime_error("cannot watch " + folder.toStdString());
}

TSaveCounter::~TSaveCounter() { ::close(watch_); }

int TSaveCounter::Count() {
    alignas(inotify_event) char events[4096];
    for (ssize_t size; (size = ::read(watch_, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < size;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            if (event->mask & IN_MOVED_TO) ++count_;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return count_;
}

QPalette TestPalette() {
    QPalette palette;
    palette.setColor(QPalette::Button, QColor("#d4d0c8"));
    palette.setColor(QPalette::Dark, QColor("#808080"));
    palette.setColor(QPalette::ButtonText, QColor("#101010"));
    palette.setColor(QPalette::WindowText, QColor("#202080"));
    palette.setColor(QPalette::Text, QColor("#000000"));
    palette.setColor(QPalette::Base, QColor("#ffffff"));
    palette.setColor(QPalette::Highlight, QColor("#3168d5"));
    palette.setColor(QPalette::HighlightedText, QColor("#fffff0"));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor("#a0a0a0"));
    return palette;
}

QColor PixelAt(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

void WriteTextFile(const QString& fileName, const QByteArray& text) {
    QDir().mkpath(QFileInfo(fileName).path());
    QFile file(fileName);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(text);
}

QByteArray ReadTextFile(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
