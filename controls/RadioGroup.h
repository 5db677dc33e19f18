// A radio group with an item index, as the station's windows use it: a change of the
// selection, by the operator or by the program, raises Click at once; setting the index
// it already has raises nothing.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>

class QGridLayout;
#include <QStringList>

class QRadioButton;

class TRadioGroup : public QGroupBox
{
    Q_OBJECT
public:
    TRadioGroup(const QString &caption, const QStringList &items, QWidget *parent = nullptr);

    int ItemIndex() const { return m_index; }
    // A program change; -1 clears the selection. When the Click handler it runs fails,
    // the handler calling this stops here too (RunProgramChange).
    void setItemIndex(int index);
    QStringList Items() const { return m_items; }
    QRadioButton *button(int index) const;
    // Lays the items out in this many columns, filled row by row (1 by default).
    void setColumns(int columns);

signals:
    void Click();

private:
    // Selects the item and raises Click; the operator's click comes here directly.
    void select(int index);

    QButtonGroup m_group;
    QStringList m_items;
    QList<QRadioButton *> m_buttons;
    int m_index = -1;
    QGridLayout *m_layout;
};
