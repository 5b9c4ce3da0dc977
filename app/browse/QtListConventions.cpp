#include "browse/QtListConventions.h"

#include <QAction>
#include <QListView>
#include <QMenu>

#include "browse/frmOption.h"

namespace kamo {

QFont ListFont() {
    return MailTextFont("ＭＳ ゴシック", 10, "0,0");
}

QListView* MakeLineList(QWidget* parent, const char* name, QAbstractItemModel* model) {
    auto* list = new QListView(parent);
    list->setObjectName(name);
    list->setModel(model);
    list->setUniformItemSizes(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setFont(ListFont());
    // The chosen line stays marked when the list loses the keyboard or is locked by a read.
    QPalette palette = list->palette();
    for (QPalette::ColorGroup group : {QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
        palette.setColor(group, QPalette::HighlightedText, palette.color(QPalette::Active, QPalette::HighlightedText));
    }
    list->setPalette(palette);
    return list;
}

void OfferLineMenu(QListView* list, const char* menuName, QWidget* menuParent, std::function<bool()> locked) {
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(list, &QWidget::customContextMenuRequested, menuParent,
                     [list, menuName, menuParent, locked = std::move(locked)](const QPoint& at) {
                         if (locked())
                             return;
                         if (const QModelIndex index = list->indexAt(at);
                             index.isValid() && index != list->currentIndex())
                             list->setCurrentIndex(index);
                         list->setFocus(Qt::MouseFocusReason);
                         QMenu menu(menuParent);
                         menu.setObjectName(menuName);
                         for (const char* name : {"memReply", "memMailExport", "memMailDel", "memCopy"})
                             if (auto* action = list->window()->findChild<QAction*>(name))
                                 menu.addAction(action);
                         menu.exec(list->viewport()->mapToGlobal(at));
                     });
}

} // namespace kamo
