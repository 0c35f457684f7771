#include "DataViewDialog.h"

#include "CGridView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

DataViewDialog::DataViewDialog(CGridView* grid)
    : QDialog(grid), m_grid(grid), m_openPrecision(grid->precision()), m_openExp(grid->useExp()) {
    setWindowTitle("Data View Settings");
    auto* form = new QFormLayout;
    m_precision = new QComboBox(this);
    for (int p = grid::kMinPrecision; p <= grid::kMaxPrecision; ++p)
        m_precision->addItem(QString::number(p));
    m_precision->setCurrentIndex(m_openPrecision - grid::kMinPrecision);
    form->addRow("Precision", m_precision);
    m_exp = new QCheckBox("Exp Form", this);
    m_exp->setChecked(m_openExp);
    form->addRow(m_exp);

    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &DataViewDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DataViewDialog::reject);
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            &DataViewDialog::apply);
    auto* box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addWidget(buttons);
}

void DataViewDialog::applyValues(int precision, bool useExp) {
    if (precision == m_grid->precision() && useExp == m_grid->useExp()) return;
    m_grid->setPrecision(precision);
    m_grid->setUseExp(useExp);
    m_grid->refresh();
    emit m_grid->dataViewChanged();
}

void DataViewDialog::apply() {
    const int precision = m_precision->currentIndex() + grid::kMinPrecision;
    const bool useExp = m_exp->isChecked();
    if (precision == m_openPrecision && useExp == m_openExp && !m_applied) return;
    applyValues(precision, useExp);
    m_applied = true;
}

void DataViewDialog::accept() {
    apply();
    QDialog::accept();
}

void DataViewDialog::reject() {
    if (m_applied) applyValues(m_openPrecision, m_openExp);
    QDialog::reject();
}
