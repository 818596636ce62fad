#ifndef MODELTESTING_H
#define MODELTESTING_H

#include <QAbstractItemModel>
#include <QAbstractProxyModel>
#include <QObject>
#include <QStringList>

// Helpers for watching item models from tests.
namespace OvrinTest {

// "r" for a top-level row, "p/r" for row r under top-level row p.
inline QString rowLabel(const QModelIndex &parent, int row)
{
    return parent.isValid() ? QStringLiteral("%1/%2").arg(parent.row()).arg(row)
                            : QString::number(row);
}

// The notifications of a model as text, in order: "+2" (row 2 inserted),
// "-0" (removed), "-0..4" (rows 0 to 4 removed at once), "~1" (every column
// of row 1 changed), "~1:6" (column 6 only), "reset". Rows under a top-level
// row read "1/0".
inline QString rangeLabel(const QModelIndex &parent, int first, int last)
{
    QString label = rowLabel(parent, first);
    if (last != first)
        label += QStringLiteral("..") + QString::number(last);
    return label;
}

class ModelLog : public QObject
{
public:
    explicit ModelLog(QAbstractItemModel *model)
        : m_model(model)
    {
        connect(model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex &parent, int first, int last) {
                    entries.append(QLatin1Char('+') + rangeLabel(parent, first, last));
                });
        connect(model, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex &parent, int first, int last) {
                    entries.append(QLatin1Char('-') + rangeLabel(parent, first, last));
                });
        connect(model, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                    const int lastColumn = m_model->columnCount(topLeft.parent()) - 1;
                    for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
                        QString entry = QLatin1Char('~') + rowLabel(topLeft.parent(), row);
                        if (topLeft.column() != 0 || bottomRight.column() != lastColumn) {
                            entry += QLatin1Char(':') + QString::number(topLeft.column());
                            if (bottomRight.column() != topLeft.column())
                                entry += QLatin1Char('-') + QString::number(bottomRight.column());
                        }
                        entries.append(entry);
                    }
                });
        connect(model, &QAbstractItemModel::modelReset, this,
                [this]() { entries.append(QStringLiteral("reset")); });
        connect(model, &QAbstractItemModel::layoutChanged, this,
                [this]() { entries.append(QStringLiteral("layout")); });
    }

    QStringList entries;
    QString text() const { return entries.join(QLatin1Char(' ')); }

private:
    QAbstractItemModel *m_model;
};

// A two-level model as text: one line per top-level row, "header: a, b".
// A child that is a list (a device row) shows its element 1 (the name); a
// child that is a text (a placeholder) shows as <text>.
inline QString childText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QVariantList)
        return value.toList().value(1).toString();
    if (value.typeId() == QMetaType::QString)
        return QLatin1Char('<') + value.toString() + QLatin1Char('>');
    return QStringLiteral("?");
}

inline QStringList treeText(const QAbstractItemModel *model)
{
    QStringList lines;
    for (int top = 0; top < model->rowCount(); ++top) {
        const QModelIndex header = model->index(top, 0);
        QStringList children;
        for (int row = 0; row < model->rowCount(header); ++row)
            children.append(childText(model->index(row, 0, header).data()));
        lines.append(header.data().toString() + QStringLiteral(": ")
                     + children.join(QStringLiteral(", ")));
    }
    return lines;
}

// A copy of a two-level model kept up to date from its notifications alone.
// At every notification it checks that the model still looks as the copy
// says it should (before the change for "about to" notifications, after it
// for the others), so that a view following the notifications never reads a
// row that is not there or misses one that is. Header texts are compared at
// the end of a change (verify(true)): they may change in the step between a
// structure change and the dataChanged that announces it.
class TreeMirror : public QObject
{
public:
    struct Node
    {
        QVariant value;
        QList<QVariant> children;
    };

    explicit TreeMirror(QAbstractItemModel *model)
        : m_model(model)
    {
        m_nodes = read();
        connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this,
                [this](const QModelIndex &parent, int first, int) {
                    check(QStringLiteral("before +%1").arg(rowLabel(parent, first)));
                    if (first > childCount(parent))
                        problems.append(QStringLiteral("insertion at %1 past the end")
                                            .arg(rowLabel(parent, first)));
                });
        connect(model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex &parent, int first, int last) {
                    for (int row = first; row <= last; ++row) {
                        const QModelIndex index = m_model->index(row, 0, parent);
                        if (!parent.isValid())
                            m_nodes.insert(row, readNode(index));
                        else if (parent.row() < m_nodes.size())
                            m_nodes[parent.row()].children.insert(row, index.data());
                    }
                    check(QStringLiteral("after +%1").arg(rowLabel(parent, first)));
                });
        connect(
            model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &parent, int first, int last) {
                check(QStringLiteral("before -%1").arg(rowLabel(parent, first)));
                if (last >= childCount(parent))
                    problems.append(
                        QStringLiteral("removal of %1 past the end").arg(rowLabel(parent, last)));
            });
        connect(model, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex &parent, int first, int last) {
                    for (int row = last; row >= first; --row) {
                        if (!parent.isValid())
                            m_nodes.removeAt(row);
                        else if (parent.row() < m_nodes.size())
                            m_nodes[parent.row()].children.removeAt(row);
                    }
                    check(QStringLiteral("after -%1").arg(rowLabel(parent, first)));
                });
        connect(
            model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                if (topLeft.parent() != bottomRight.parent())
                    problems.append(QStringLiteral("dataChanged across parents"));
                for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
                    const QModelIndex index = m_model->index(row, 0, topLeft.parent());
                    if (!index.isValid()) {
                        problems.append(QStringLiteral("dataChanged of missing row %1")
                                            .arg(rowLabel(topLeft.parent(), row)));
                        continue;
                    }
                    const int top = topLeft.parent().isValid() ? topLeft.parent().row() : row;
                    if (top >= m_nodes.size()
                        || (topLeft.parent().isValid() && row >= m_nodes.at(top).children.size())) {
                        problems.append(QStringLiteral("dataChanged of %1, unknown here")
                                            .arg(rowLabel(topLeft.parent(), row)));
                        continue;
                    }
                    if (!topLeft.parent().isValid())
                        m_nodes[row].value = index.data();
                    else
                        m_nodes[top].children[row] = index.data();
                }
            });
        connect(model, &QAbstractItemModel::modelReset, this, [this]() { m_nodes = read(); });
        connect(model, &QAbstractItemModel::layoutChanged, this,
                [this]() { problems.append(QStringLiteral("layoutChanged")); });
        connect(model, &QAbstractItemModel::rowsMoved, this,
                [this]() { problems.append(QStringLiteral("rowsMoved")); });
    }

    // The copy as text (see treeText).
    QStringList text() const
    {
        QStringList lines;
        for (const Node &node : m_nodes) {
            QStringList children;
            for (const QVariant &child : node.children)
                children.append(childText(child));
            lines.append(node.value.toString() + QStringLiteral(": ")
                         + children.join(QStringLiteral(", ")));
        }
        return lines;
    }

    // Whether the model, headers included, equals the copy; mismatches go to problems.
    bool verify() { return check(QStringLiteral("at rest"), true); }

    QStringList problems;

private:
    int childCount(const QModelIndex &parent) const
    {
        if (!parent.isValid())
            return int(m_nodes.size());
        return parent.row() < m_nodes.size() ? int(m_nodes.at(parent.row()).children.size()) : 0;
    }

    Node readNode(const QModelIndex &header) const
    {
        Node node { header.data(), {} };
        for (int row = 0; row < m_model->rowCount(header); ++row)
            node.children.append(m_model->index(row, 0, header).data());
        return node;
    }

    QList<Node> read() const
    {
        QList<Node> nodes;
        for (int top = 0; top < m_model->rowCount(); ++top)
            nodes.append(readNode(m_model->index(top, 0)));
        return nodes;
    }

    bool check(const QString &when, bool withHeaders = false)
    {
        const int before = int(problems.size());
        const QList<Node> actual = read();
        if (actual.size() != m_nodes.size()) {
            problems.append(QStringLiteral("%1: %2 top rows, expected %3")
                                .arg(when)
                                .arg(actual.size())
                                .arg(m_nodes.size()));
            return false;
        }
        auto *proxy = qobject_cast<QAbstractProxyModel *>(m_model);
        for (int top = 0; top < actual.size(); ++top) {
            const QModelIndex header = m_model->index(top, 0);
            if (header.parent().isValid())
                problems.append(QStringLiteral("%1: header %2 has a parent").arg(when).arg(top));
            if (withHeaders && actual.at(top).value != m_nodes.at(top).value)
                problems.append(
                    QStringLiteral("%1: header %2 reads %3, expected %4")
                        .arg(when)
                        .arg(top)
                        .arg(actual.at(top).value.toString(), m_nodes.at(top).value.toString()));
            if (actual.at(top).children != m_nodes.at(top).children) {
                problems.append(QStringLiteral("%1: under %2: [%3], expected [%4]")
                                    .arg(when)
                                    .arg(top)
                                    .arg(childTexts(actual.at(top).children),
                                         childTexts(m_nodes.at(top).children)));
            }
            for (int row = 0; row < actual.at(top).children.size(); ++row) {
                const QModelIndex child = m_model->index(row, 0, header);
                if (child.parent() != header)
                    problems.append(QStringLiteral("%1: %2/%3 has the wrong parent")
                                        .arg(when)
                                        .arg(top)
                                        .arg(row));
                if (proxy && child.data().typeId() == QMetaType::QVariantList
                    && proxy->mapFromSource(proxy->mapToSource(child)) != child)
                    problems.append(
                        QStringLiteral("%1: %2/%3 does not map back").arg(when).arg(top).arg(row));
            }
        }
        return problems.size() == before;
    }

    static QString childTexts(const QList<QVariant> &children)
    {
        QStringList texts;
        for (const QVariant &child : children)
            texts.append(childText(child));
        return texts.join(QStringLiteral(", "));
    }

    QAbstractItemModel *m_model;
    QList<Node> m_nodes;
};

} // namespace OvrinTest

#endif // MODELTESTING_H
