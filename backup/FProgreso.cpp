#include "backup/FProgreso.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "backup/RunWindows.h"

TProgreso::TProgreso(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("Progreso"));
    setWindowTitle(QStringLiteral("Progreso"));
    setFont(runwindows::NormalFont());
    resize(546, 206);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setPlainText(QStringLiteral("Memo1"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo1);

    runwindows::CentreOverMainWindow(this);
}
