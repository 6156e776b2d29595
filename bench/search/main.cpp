// bench_search: how long the wizard's search takes over one port on which
// nothing answers, and over ten. The ports are probed side by side, so ten
// should cost little more than one (goal: at most 1.5 times); the scan page
// stays on screen at least 2 s either way. The real wizard (wizard-demo,
// offscreen) runs the search; the program's own waits, 2 s an answer.
//   bench_search [runs]

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Seconds the search took, as the demo's autopilot says; -1 on failure.
double search(int silentPorts)
{
    QProcess demo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    demo.setProcessEnvironment(env);
    demo.start(QStringLiteral(WIZARD_DEMO), {"--autopilot", "--pace", "0", "--panels", "0", "--silent-ports",
                                             QString::number(silentPorts)});
    if (!demo.waitForFinished(120000))
        return -1;
    const QRegularExpressionMatch took =
        QRegularExpression(QStringLiteral("the search took ([0-9.]+) s")).match(QString::fromUtf8(demo.readAllStandardOutput()));
    return took.hasMatch() ? took.captured(1).toDouble() : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    std::vector<double> one, ten;
    for (int i = 0; i < runs; ++i) {
        one.push_back(search(1));
        ten.push_back(search(10));
        if (one.back() < 0 || ten.back() < 0) {
            std::fprintf(stderr, "bench_search: the demo did not report its search\n");
            return 1;
        }
    }
    std::nth_element(one.begin(), one.begin() + runs / 2, one.end());
    std::nth_element(ten.begin(), ten.begin() + runs / 2, ten.end());
    const double a = one[runs / 2], b = ten[runs / 2];
    std::printf("search of 1 silent port: median %.2f s over %d runs\n", a, runs);
    std::printf("search of 10 silent ports: median %.2f s over %d runs\n", b, runs);
    std::printf("ratio %.2f (goal: at most 1.5); the page stayed at least 2 s: %s\n", b / a, a >= 2.0 ? "yes" : "no");
    return b / a <= 1.5 && a >= 2.0 ? 0 : 1;
}
