// A small window of TCuteButtons with Japanese captions for the out-of-process accessibility
// test: each click prints "clicked <objectName> <caption>" on standard output.
#include "CuteButton.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setObjectName(QStringLiteral("Fbuttons"));
    window.setWindowTitle(QStringLiteral("ボタン"));
    window.resize(340, 60);

    struct Def {
        const char *name;
        QString caption;
        bool enabled;
    };
    const Def defs[] = {
        {"CuteButton1", QStringLiteral("開始"), true},
        {"CuteButton2", QStringLiteral("停止"), true},
        {"CuteButton3", QStringLiteral("終了(&Q)"), true},
        {"CuteButton4", QStringLiteral("無効"), false},
    };
    int x = 5;
    for (const Def &d : defs) {
        auto *b = new TCuteButton(&window);
        b->setObjectName(QString::fromLatin1(d.name));
        b->setText(d.caption);
        b->setEnabled(d.enabled);
        b->setEgnoreContClick(true);
        b->move(x, 15);
        x += 82;
        QObject::connect(b, &QAbstractButton::clicked, b, [b] {
            std::printf("clicked %s %s\n", qPrintable(b->objectName()), b->text().toUtf8().constData());
            std::fflush(stdout);
        });
    }
    window.show();
    std::printf("ready\n");
    std::fflush(stdout);
    // Never outlive a driver that died.
    QTimer::singleShot(180000, &app, &QApplication::quit);
    return app.exec();
}
