// TForm1's math: the status bar's word on it, the limit counts beside the displays, the dialog.
#include "app/main_window.h"

#include "app/math_control.h"
#include "app/math_dialog.h"
#include "app/recording_control.h"
#include "text/exception.h"
#include "ui/exception_report.h"

#include <QFont>
#include <QLabel>
#include <QStatusBar>

namespace velmora {

void TForm1::createMath() {
    statusMath = new QLabel(StatusBar1);
    statusMath->setObjectName(QStringLiteral("StatusMath"));
    statusMath->setTextFormat(Qt::PlainText);
    StatusBar1->insertWidget(1, statusMath);
    // Under the logo, right of the displays, as a meter shows its counts.
    limitCounts = new QLabel(this);
    limitCounts->setObjectName(QStringLiteral("LimitCounts"));
    limitCounts->setTextFormat(Qt::PlainText);
    limitCounts->setGeometry(452, 80, 170, 36);
    QFont small = limitCounts->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    limitCounts->setFont(small);
    math_ = new MathControl(this, statusMath, limitCounts);
    math_->editMath = [this](const std::string& function, const MathSettings& current) {
        return EditMath(this, function, current);
    };
    math_->showNote = [this](const QString& note) { showNote(note); };
    math_->showProblem = [](const QString& problem) {
        ReportException(Exception(problem.toStdString()));
    };
    recording_->mathOn = [this] { return math_->anyOn(); };
}

} // namespace velmora
