// Leaks on purpose, from inside the event loop: the leak checker must still see
// it, so the suppressions for the libraries' own one-time allocations cannot
// be hiding ours.
#include <QApplication>
#include <QTimer>

namespace {

int* __attribute__((noinline)) leakedByOurCode() {
    return new int[16]{};
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTimer::singleShot(0, &app, [&app] {
        (void)leakedByOurCode(); // dropped: nothing points at it any more
        app.quit();
    });
    return app.exec();
}
