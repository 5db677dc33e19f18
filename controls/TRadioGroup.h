// A radio group with an item index, as the station's windows use it: a change of the
// selection, by the operator or by the program, raises Click at once; setting the index
// it already has raises nothing.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

class QRadioButton;

class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString &caption, const QStringList &items, QWidget *parent = nullptr);

    int ItemIndex() const { return m_index; }
    // -1 clears the selection.
    void setItemIndex(int index);
    QStringList Items() const { return m_items; }
    QRadioButton *button(int index) const;

signals:
    void Click();

private:
    QButtonGroup m_group;
    QStringList m_items;
    QList<QRadioButton *> m_buttons;
    int m_index = -1;
};
