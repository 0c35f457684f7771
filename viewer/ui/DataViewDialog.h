// The Data View dialog: the spreadsheet's precision (3..15) and exponent form.
#pragma once

#include <QDialog>

class CGridView;
class QCheckBox;
class QComboBox;

class DataViewDialog : public QDialog {
    Q_OBJECT
public:
    explicit DataViewDialog(CGridView* grid);

    QComboBox* precisionBox() const { return m_precision; }
    QCheckBox* expBox() const { return m_exp; }

    // Applies the dialog's values to the grid when they differ from those it
    // opened with. OK applies and closes; Cancel undoes an earlier Apply.
    void apply();
    void accept() override;
    void reject() override;

private:
    void applyValues(int precision, bool useExp);

    CGridView* m_grid;
    QComboBox* m_precision;
    QCheckBox* m_exp;
    int m_openPrecision;
    bool m_openExp;
    bool m_applied = false;
};
