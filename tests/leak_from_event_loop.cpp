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
    static int* volatile kept = nullptr;
    QTimer::singleShot(0, &app, [&app] {
        kept = leakedByOurCode();
        kept = nullptr; // unreachable from here on
        app.quit();
    });
    return app.exec();
}
