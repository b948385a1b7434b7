#include "tests/support/promtool.h"

#include <QFile>
#include <QTemporaryDir>

#include "tests/support/run_tool.h"

namespace testsupport {

std::string PromtoolProblems(const QByteArray& AText) {
    QTemporaryDir dir;
    const QString in = dir.filePath("metrics.txt"), out = dir.filePath("said.txt");
    QFile file(in);
    if (!file.open(QIODevice::WriteOnly) || file.write(AText) != AText.size())
        return "cannot write the exposition for promtool";
    file.close();
    const int code = RunTool({"promtool", "check", "metrics"}, in.toStdString(), out.toStdString());
    QFile said(out);
    const QString text =
        said.open(QIODevice::ReadOnly) ? QString::fromUtf8(said.readAll()).trimmed() : QString();
    if (code == 127) return "promtool is missing (scripts/ensure_deps.sh)";
    if (code != 0 && text.isEmpty()) return "promtool failed";
    return text.toStdString();
}

}  // namespace testsupport
