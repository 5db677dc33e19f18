#include "RadioGroup.h"

#include "Dialogs.h"

#include <QGridLayout>
#include <QRadioButton>
#include <QSignalBlocker>

TRadioGroup::TRadioGroup(const QString &caption, const QStringList &items, QWidget *parent)
    : QGroupBox(caption, parent), m_items(items)
{
    m_layout = new QGridLayout(this);
    m_group.setExclusive(false); // lets the program clear the selection
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items[i], this);
        b->setObjectName(QStringLiteral("%1_%2").arg(objectName()).arg(i));
        b->setAutoExclusive(false);
        m_group.addButton(b, i);
        m_buttons << b;
        m_layout->addWidget(b, i, 0);
    }
    // An item is chosen when it becomes checked by the operator: a click, the keyboard, or
    // the accessibility layer's toggle (which checks it without a click). The program's own
    // changes go through select() with the buttons' signals blocked.
    connect(&m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && id != m_index) {
            select(id);
        } else if (!checked && id == m_index) {
            // The chosen item clicked or toggled again stays chosen and changes nothing.
            QSignalBlocker block(m_buttons[id]);
            m_buttons[id]->setChecked(true);
        }
    });
}

QRadioButton *TRadioGroup::button(int index) const
{
    return index >= 0 && index < m_buttons.size() ? m_buttons[index] : nullptr;
}

void TRadioGroup::setColumns(int columns)
{
    columns = qMax(1, columns);
    for (QRadioButton *b : m_buttons)
        m_layout->removeWidget(b);
    for (int i = 0; i < m_buttons.size(); ++i)
        m_layout->addWidget(m_buttons[i], i / columns, i % columns);
}

void TRadioGroup::setItemIndex(int index)
{
    RunProgramChange([this, index] { select(index); });
}

void TRadioGroup::select(int index)
{
    if (index < -1 || index >= m_buttons.size())
        index = -1;
    if (index == m_index)
        return;
    m_index = index;
    for (int i = 0; i < m_buttons.size(); ++i) {
        QSignalBlocker block(m_buttons[i]);
        m_buttons[i]->setChecked(i == index);
    }
    emit Click();
}
