#include "tools/plan_editor.h"

#include <algorithm>

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const char* const kColumnNames[kPlanColumns] = {"Voltage, V",  "Current, A", "Seconds", "Until",
                                                "Max seconds", "Ramp",       "Enabled"};
const char* const kFieldNames[kPlanColumns] = {"voltage",     "current", "seconds", "until",
                                               "max_seconds", "ramp",    "enabled"};

// Text columns read from the left; numbers line up on the right.
bool LeftAligned(int AColumn) {
    return AColumn == 3 || AColumn == kRampColumn;
}

}  // namespace

TPlanProblems PlanRowProblems(const TPlanRows& ARows) {
    TPlanProblems problems;
    for (size_t row = 0; row < ARows.size(); ++row) {
        if (PlanRowIsComment(ARows[row])) continue;
        for (int column = 0; column < kPlanColumns; ++column) {
            if (!ARows[row][column].contains(',')) continue;
            problems.push_back({PlanLineOfRow(static_cast<int>(row)),
                                QString("%1 \"%2\" holds a comma (decimals take a point)")
                                    .arg(kFieldNames[column], ARows[row][column])});
            break;
        }
    }
    return problems;
}

TPlanEditor::TPlanEditor(QWidget* AParent)
    : QWidget(AParent),
      fTable(new QTableWidget(0, kPlanColumns, this)),
      fProblemLabel(new QLabel(this)) {
    QStringList headings;
    for (const char* name : kColumnNames)
        headings << QString::fromLatin1(name);
    fTable->setObjectName(QStringLiteral("PlanTable"));
    fTable->setHorizontalHeaderLabels(headings);
    fTable->setSelectionMode(QAbstractItemView::SingleSelection);
    fTable->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    QHeaderView* header = fTable->horizontalHeader();
    for (int column = 0; column < kPlanColumns; ++column)
        header->setSectionResizeMode(
            column, column == 3 ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
    fTable->setToolTip(QStringLiteral(
        "One step a row; the numbers at the left are the lines of the saved file.\n"
        "Until: end conditions joined by | (I<=A, I>=A, V<=V, V>=V, Ah>=N, Wh>=N, CC, CV, "
        "trip);\na step with Until needs Max seconds. Ramp: V, I or V|I moves the set point "
        "from the\nstep before (or V from N, I from N) to the step's own over its seconds.\n"
        "A row starting with # is a comment."));
    fProblemLabel->setObjectName(QStringLiteral("PlanProblems"));
    fProblemLabel->setWordWrap(true);
    fProblemLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    fProblemLabel->setStyleSheet(QStringLiteral("color: #ff7b6e;"));
    fProblemLabel->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(fTable, 1);
    layout->addWidget(fProblemLabel);

    connect(fTable, &QTableWidget::itemChanged, this, [this](QTableWidgetItem*) {
        if (fFilling) return;
        Recheck();
        if (OnEdited) OnEdited();
    });
}

TPlanRows TPlanEditor::Rows() const {
    TPlanRows rows(static_cast<size_t>(fTable->rowCount()));
    for (int row = 0; row < fTable->rowCount(); ++row) {
        for (int column = 0; column < kPlanColumns; ++column) {
            const QTableWidgetItem* item = fTable->item(row, column);
            if (item) rows[static_cast<size_t>(row)][column] = item->text();
        }
    }
    return rows;
}

void TPlanEditor::SetRow(int ARow, const TPlanRow& AValues) {
    for (int column = 0; column < kPlanColumns; ++column) {
        QTableWidgetItem* item = fTable->item(ARow, column);
        if (!item) {
            item = new QTableWidgetItem;
            fTable->setItem(ARow, column, item);
        }
        item->setText(AValues[column]);
        item->setTextAlignment(LeftAligned(column) || PlanRowIsComment(AValues)
                                   ? Qt::AlignLeft | Qt::AlignVCenter
                                   : Qt::AlignRight | Qt::AlignVCenter);
    }
}

void TPlanEditor::SetRows(const TPlanRows& ARows) {
    fFilling = true;
    fTable->clearSpans();
    fTable->setRowCount(static_cast<int>(ARows.size()));
    for (int row = 0; row < static_cast<int>(ARows.size()); ++row)
        SetRow(row, ARows[static_cast<size_t>(row)]);
    fFilling = false;
    fRunningRow = -1;
    Recheck();
}

void TPlanEditor::AddRow() {
    const int current = fTable->currentRow();
    const int row = current < 0 ? fTable->rowCount() : current + 1;
    TPlanRow values;
    // A copy of the nearest step above, which is the usual start of the next one.
    const TPlanRows rows = Rows();
    for (int above = row - 1; above >= 0; --above) {
        if (PlanRowIsStep(rows[static_cast<size_t>(above)])) {
            values = rows[static_cast<size_t>(above)];
            break;
        }
    }
    fFilling = true;
    fTable->insertRow(row);
    SetRow(row, values);
    fFilling = false;
    fTable->setCurrentCell(row, 0);
    Recheck();
    if (OnEdited) OnEdited();
}

void TPlanEditor::RemoveRow() {
    const int row = fTable->currentRow();
    if (row < 0) return;
    fTable->removeRow(row);
    if (fTable->rowCount() > 0) fTable->setCurrentCell(std::min(row, fTable->rowCount() - 1), 0);
    Recheck();
    if (OnEdited) OnEdited();
}

int TPlanEditor::StepCount() const {
    int steps = 0;
    for (const TPlanRow& row : Rows())
        steps += PlanRowIsStep(row) ? 1 : 0;
    return steps;
}

void TPlanEditor::Recheck() {
    const TPlanRows rows = Rows();
    // Every problem at once: a cell holding a comma, and what the plan's check finds on the
    // other lines.
    fProblems = PlanRowProblems(rows);
    if (Check) {
        const TPlanProblems rowProblems = fProblems;
        for (const TPlanProblem& problem : Check(PlanTextFromRows(rows))) {
            const bool told =
                std::any_of(rowProblems.begin(), rowProblems.end(),
                            [&](const TPlanProblem& A) { return A.Line == problem.Line; });
            if (!told || problem.Line == 0) fProblems.push_back(problem);
        }
        std::stable_sort(
            fProblems.begin(), fProblems.end(),
            [](const TPlanProblem& A, const TPlanProblem& B) { return A.Line < B.Line; });
    }
    Renumber();
    ShowProblems();
}

void TPlanEditor::Renumber() {
    // Line numbers at the left; a comment row spans the table; rows with a problem are tinted.
    fFilling = true;
    fTable->clearSpans();
    const TPlanRows rows = Rows();
    QStringList numbers;
    for (int row = 0; row < fTable->rowCount(); ++row) {
        numbers << QString::number(PlanLineOfRow(row));
        const TPlanRow& values = rows[static_cast<size_t>(row)];
        bool spans = PlanRowIsComment(values);
        for (int column = 1; column < kPlanColumns && spans; ++column)
            spans = values[column].isEmpty();
        if (spans) fTable->setSpan(row, 0, 1, kPlanColumns);
        bool bad = false;
        for (const TPlanProblem& problem : fProblems)
            bad = bad || problem.Line == PlanLineOfRow(row);
        for (int column = 0; column < kPlanColumns; ++column) {
            QTableWidgetItem* item = fTable->item(row, column);
            if (!item) continue;
            const QBrush brush = bad                  ? QBrush(QColor(110, 32, 28))
                                 : row == fRunningRow ? QBrush(QColor(24, 80, 40))
                                                      : QBrush();
            if (item->background() != brush) item->setBackground(brush);
            if (PlanRowIsComment(values) && item->foreground() != QBrush(QColor(130, 140, 150)))
                item->setForeground(QColor(130, 140, 150));
            else if (!PlanRowIsComment(values) && item->foreground() != QBrush())
                item->setForeground(QBrush());
        }
    }
    fTable->setVerticalHeaderLabels(numbers);
    fFilling = false;
}

void TPlanEditor::ShowProblems() {
    QStringList lines;
    for (const TPlanProblem& problem : fProblems)
        lines << (problem.Line > 0 ? QString("line %1: %2").arg(problem.Line).arg(problem.Text)
                                   : problem.Text);
    fProblemLabel->setText(lines.join('\n'));
    fProblemLabel->setVisible(!lines.isEmpty());
}

void TPlanEditor::MarkRunningLine(int ALine) {
    const int row = ALine > 0 ? ALine - 2 : -1;
    if (row == fRunningRow) return;
    fRunningRow = row;
    Renumber();
    if (row >= 0) fTable->scrollToItem(fTable->item(row, 0));
}
