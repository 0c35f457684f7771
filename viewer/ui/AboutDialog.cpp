#include "AboutDialog.h"

#include "CArrayDoc.h"
#include "CPlotrane2D.h"
#include "SystemInfo.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

QString AboutDialog::systemInfoText(CArrayDoc* document) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    QString version, renderer;
    if (CPlotrane2D* c = document ? document->control(true) : nullptr) {
        version = QString::fromStdString(c->get(plotrane::DISPID_GLVersion).toString());
        renderer = QString::fromStdString(c->get(plotrane::DISPID_GLRenderer).toString());
    }
    return system_info::systemInfoText(screen ? screen->depth() : 0, version, renderer,
                                       system_info::readMemory());
}

AboutDialog::AboutDialog(CArrayDoc* document, QWidget* parent) : QDialog(parent) {
    setObjectName("aboutDialog100");
    setWindowTitle("About Tavrix");
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
    auto* name = new QLabel("Veradyne Tavrix Version 1.0\nA viewer for numeric arrays", this);
    auto* head = new QHBoxLayout;
    head->addWidget(icon, 0, Qt::AlignTop);
    head->addWidget(name, 1);

    auto* group = new QGroupBox("System Info", this);
    m_info = new QPlainTextEdit(group);
    m_info->setObjectName("edit1192");
    m_info->setReadOnly(true);
    m_info->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The lines are kept with "\r\n" between them; the edit shows lines.
    m_info->setPlainText(systemInfoText(document).replace("\r\n", "\n"));
    m_info->setMinimumSize(m_info->fontMetrics().horizontalAdvance(QString(44, 'M')) / 2 + 40,
                           m_info->fontMetrics().lineSpacing() * 8 + 12);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_info);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(group, 1);
    layout->addWidget(buttons);
}
