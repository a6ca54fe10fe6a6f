#include "framework/qt/QtHost.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QResizeEvent>
#include <QShortcut>
#include <QSpacerItem>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <cstring>
#include <map>
#include <memory>

#include "framework/CDialog.h"
#include "framework/qt/QtArtwork.h"
#include "framework/qt/QtEventLoop.h"
#include "resources/DialogTemplate.h"

namespace omblor::framework {

using resources::ControlKind;

namespace {

QString ToQ(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string FromQ(const QString& s) {
    return s.toStdString();
}

// A password's bytes pass through here; the UTF-8 copy Qt makes is overwritten before it goes.
std::string SecretFromQ(const QString& s) {
    QByteArray utf8 = s.toUtf8();
    std::string out(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    if (!utf8.isEmpty()) explicit_bzero(utf8.data(), static_cast<std::size_t>(utf8.size()));
    return out;
}

bool IsSecret(const QLineEdit& edit) {
    return edit.echoMode() == QLineEdit::Password;
}

// Overwrites a password box's text where the widget keeps it (text() shares that buffer), then
// empties the box, so the password does not outlive the dialog in the widget's memory.
void WipeLineEdit(QLineEdit& edit) {
    QString text = edit.text();
    if (!text.isEmpty()) {
        explicit_bzero(const_cast<QChar*>(text.constData()),
                       static_cast<std::size_t>(text.size()) * sizeof(QChar));
    }
    edit.clear();
}

// Dialog units to pixels with the font's base units, so the templates' arrangement holds.
struct DialogUnits {
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics m(font);
        baseX = m.horizontalAdvance(
                    QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                52.0;
        baseY = m.height();
    }
    [[nodiscard]] int X(int du) const { return static_cast<int>(du * baseX / 4.0 + 0.5); }
    [[nodiscard]] int Y(int du) const { return static_cast<int>(du * baseY / 8.0 + 0.5); }
    double baseX = 6;
    double baseY = 13;
};

// A short text makes a narrow box whose title bar cuts the caption; the box is made at least as
// wide as the caption with room for the window manager's icon and buttons.
void KeepCaptionWhole(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr) return;
    const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
    constexpr int kTitleBarExtras = 160;
    const int width = metrics.horizontalAdvance(box.windowTitle()) + kTitleBarExtras;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

// Qt shows a filter as "description (patterns)"; a description that already ends in its pattern
// ("Application Files *_APP.s19") would show the pattern twice, so it moves into the brackets.
QString NameFilter(const FileFilter& filter) {
    std::string_view description = filter.description;
    const std::string_view pattern = filter.pattern;
    if (description.size() > pattern.size() && description.ends_with(pattern)) {
        description.remove_suffix(pattern.size());
        while (!description.empty() && description.back() == ' ') description.remove_suffix(1);
    }
    return ToQ(description) + QStringLiteral(" (") + ToQ(pattern) + QStringLiteral(")");
}

// The local file a drag carries, or empty.
QString DroppedFile(const QMimeData& data) {
    const QList<QUrl> urls = data.urls();
    return urls.size() == 1 && urls.front().isLocalFile() ? urls.front().toLocalFile() : QString();
}

}  // namespace

class QtHost::Window final : public HostWindow {
  public:
    Window(QtHost& host, CDialog& dialog, QWidget* parent)
        : host_(host), dialog_(dialog), widget_(std::make_unique<DialogWidget>(*this, parent)) {
        const auto* t = dialog.Template();
        widget_->setWindowTitle(ToQ(t->title));
        widget_->setWindowIcon(AppIcon());
        widget_->setWindowModality(Qt::ApplicationModal);
        InstallWindowMenuKeys();
        const DialogUnits du(widget_->font());
        const QSize size(du.X(t->cx), du.Y(t->cy));
        baseSize_ = size;
        if ((t->style & resources::kDialogResizable) != 0) {
            widget_->setMinimumSize(size);
            widget_->resize(size);
        } else {
            widget_->setFixedSize(size);
        }
        widget_->setAcceptDrops(dialog.AcceptsDroppedFiles());
        for (auto& c : dialog.Controls()) Build(c, du);
        host_.open_.push_back(this);
        constexpr int kTreeRefreshMs = 25;
        treeTimer_.setSingleShot(true);
        treeTimer_.setInterval(kTreeRefreshMs);
        QObject::connect(&treeTimer_, &QTimer::timeout, widget_.get(), [this] {
            if (ControlState* c = dialog_.FindControl(treeId_)) Sync(*c);
        });
    }
    ~Window() override {
        std::erase(host_.open_, this);
        widget_->hide();
        for (auto* edit : widget_->findChildren<QLineEdit*>()) {
            if (IsSecret(*edit)) WipeLineEdit(*edit);
        }
    }

    void Shown() override {
        widget_->show();
        widget_->raise();
        widget_->activateWindow();
        FocusChanged(dialog_.FocusId());
    }
    void ControlChanged(int id) override {
        ControlState* c = dialog_.FindControl(id);
        if (c == nullptr) return;
        if (c->kind == ControlKind::Tree) {
            ScheduleTreeSync(id);
        } else {
            Sync(*c);
        }
    }
    void TreeItemChanged(int id, std::uintptr_t item) override {
        changedItems_.push_back(item);
        ScheduleTreeSync(id);
    }
    void FocusChanged(int id) override {
        if (auto it = widgets_.find(id); it != widgets_.end()) it->second->setFocus();
    }
    void SelectAllText(int id) override {
        if (auto* edit = qobject_cast<QLineEdit*>(Find(id))) edit->selectAll();
    }
    void Ended(int /*result*/) override { widget_->hide(); }

    QWidget* Widget() const { return widget_.get(); }

  private:
    class DialogWidget final : public QDialog {
      public:
        DialogWidget(Window& owner, QWidget* parent) : QDialog(parent), owner_(owner) {}
        void reject() override { owner_.dialog_.HandleCancel(); }  // Esc
        void accept() override {}

      protected:
        void closeEvent(QCloseEvent* event) override {
            event->ignore();
            owner_.dialog_.HandleCancel();
        }
        void contextMenuEvent(QContextMenuEvent* event) override {
            ShowWindowMenu(event->globalPos());
        }
        void resizeEvent(QResizeEvent* event) override {
            QDialog::resizeEvent(event);
            owner_.Relayout();
        }
        void dragEnterEvent(QDragEnterEvent* event) override {
            if (!DroppedFile(*event->mimeData()).isEmpty()) event->acceptProposedAction();
        }
        void dropEvent(QDropEvent* event) override {
            const QString path = DroppedFile(*event->mimeData());
            // Only the window the operator works in takes it, not one behind a modal box.
            if (path.isEmpty() || owner_.host_.open_.back() != &owner_ ||
                QApplication::activeModalWidget() != this) {
                return;
            }
            event->acceptProposedAction();
            owner_.dialog_.HandleDropFile(FromQ(path));
        }

      public:
        // X11 gives no access to the window manager's menu: the system-menu items live here,
        // on a right click, Shift+F10 or the Menu key.
        void ShowWindowMenu(const QPoint& at) {
            const auto& items = owner_.dialog_.SystemMenuItems();
            if (items.empty()) return;
            QMenu menu(this);
            for (const auto& item : items) {
                const unsigned id = item.id;
                menu.addAction(ToQ(item.text), this,
                               [this, id] { owner_.dialog_.HandleSysCommand(id); });
            }
            menu.exec(at);
        }

      private:
        Window& owner_;
    };

    void InstallWindowMenuKeys() {
        for (const QKeySequence& keys :
             {QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)}) {
            auto* shortcut = new QShortcut(keys, widget_.get());
            QObject::connect(shortcut, &QShortcut::activated, widget_.get(), [this] {
                widget_->ShowWindowMenu(widget_->mapToGlobal(QPoint(0, 0)));
            });
        }
    }

    // A resizable dialog: the tree takes the extra room; what lies below it moves down, and what
    // lies to its right, or below and right of its left edge, moves right with it.
    void Relayout() {
        if (grows_ == nullptr) return;
        const QRect base = placed_.at(grows_);
        const int dx = widget_->width() - baseSize_.width();
        const int dy = widget_->height() - baseSize_.height();
        for (const auto& [w, rect] : placed_) {
            QRect r = rect;
            if (w == grows_) {
                r.setSize(r.size() + QSize(dx, dy));
            } else {
                const bool below = r.top() >= base.bottom();
                if (below) r.translate(0, dy);
                if (r.left() >= base.right() || (below && r.left() >= base.left())) {
                    r.translate(dx, 0);
                }
            }
            w->setGeometry(r);
        }
    }

    QWidget* Find(int id) const {
        auto it = widgets_.find(id);
        return it != widgets_.end() ? it->second : nullptr;
    }

    void Build(ControlState& c, const DialogUnits& du) {
        const auto* t = c.tmpl;
        QWidget* w = nullptr;
        const int id = c.id;
        switch (c.kind) {
            case ControlKind::PushButton:
            case ControlKind::DefPushButton: {
                auto* b = new QPushButton(ToQ(t->text), widget_.get());
                // As in a dialog manager: Enter presses the push button that has the focus, and
                // the default button only while the focus is on something else.
                b->setAutoDefault(true);
                b->setDefault(c.kind == ControlKind::DefPushButton);
                QObject::connect(b, &QPushButton::clicked, widget_.get(),
                                 [this, id] { dialog_.HandleCommand(id); });
                w = b;
                break;
            }
            case ControlKind::Edit: {
                auto* e = new QLineEdit(widget_.get());
                if ((t->style & resources::kStylePassword) != 0)
                    e->setEchoMode(QLineEdit::Password);
                if ((t->style & resources::kStyleNumber) != 0) {
                    e->setValidator(new QRegularExpressionValidator(
                        QRegularExpression(QStringLiteral("[0-9]*")), e));
                }
                QObject::connect(e, &QLineEdit::textEdited, widget_.get(),
                                 [this, id, e](const QString& s) {
                                     if (ControlState* state = dialog_.FindControl(id)) {
                                         SecureWipe(state->text);
                                         state->text = IsSecret(*e) ? SecretFromQ(s) : FromQ(s);
                                     }
                                 });
                w = e;
                break;
            }
            case ControlKind::CheckBox: {
                auto* b = new QCheckBox(ToQ(t->text), widget_.get());
                QObject::connect(b, &QCheckBox::clicked, widget_.get(),
                                 [this, id] { dialog_.HandleCommand(id); });
                w = b;
                break;
            }
            case ControlKind::Tree: {
                auto* tree = new QTreeWidget(widget_.get());
                tree->setHeaderHidden(true);
                tree->setRootIsDecorated((t->style & resources::kStyleTreeLinesAtRoot) != 0);
                if ((t->style & resources::kStyleTreeLines) != 0) {
                    // The desktop styles draw expand arrows only; this one draws the dotted
                    // lines and the boxed +/- buttons the template asks for.
                    if (QStyle* lines = QStyleFactory::create(QStringLiteral("Windows"))) {
                        lines->setParent(tree);
                        tree->setStyle(lines);
                    }
                }
                QObject::connect(tree, &QTreeWidget::currentItemChanged, widget_.get(),
                                 [this, id](QTreeWidgetItem* item, QTreeWidgetItem*) {
                                     if (syncing_) return;
                                     if (ControlState* state = dialog_.FindControl(id)) {
                                         state->selected =
                                             item ? item->data(0, Qt::UserRole).value<qulonglong>()
                                                  : 0;
                                     }
                                 });
                w = tree;
                break;
            }
            case ControlKind::Progress: {
                auto* p = new QProgressBar(widget_.get());
                p->setTextVisible(true);
                p->setFormat(QStringLiteral("%p%"));
                p->setAlignment(Qt::AlignCenter);
                w = p;
                break;
            }
            case ControlKind::Icon: {
                auto* l = new QLabel(widget_.get());
                l->setPixmap(AppIcon().pixmap(32, 32));
                l->setGeometry(du.X(t->x), du.Y(t->y), 32, 32);
                placed_[l] = l->geometry();
                return;
            }
            case ControlKind::Static:
                w = new QLabel(ToQ(t->text), widget_.get());
                break;
        }
        w->setGeometry(du.X(t->x), du.Y(t->y), du.X(t->cx), du.Y(t->cy));
        placed_[w] = w->geometry();
        if (c.kind == ControlKind::Tree) grows_ = w;
        // Drops on a dialog that takes files go to the dialog, not into a box as text.
        if (dialog_.AcceptsDroppedFiles()) w->setAcceptDrops(false);
        if (id != resources::kNoControlId) {
            widgets_[id] = w;
            w->setObjectName(QString::number(id));  // how tests and tools find a control
        }
        if (c.kind != ControlKind::Static) Sync(c);
    }

    void Sync(ControlState& c) {
        QWidget* w = Find(c.id);
        if (w == nullptr) return;
        const QSignalBlocker block(w);
        w->setEnabled(c.enabled);
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            if (IsSecret(*e)) {
                // The framework only ever empties a password box; nothing to copy back.
                if (c.text.empty() && !e->text().isEmpty()) WipeLineEdit(*e);
            } else if (FromQ(e->text()) != c.text) {
                e->setText(ToQ(c.text));
            }
        } else if (auto* b = qobject_cast<QCheckBox*>(w)) {
            b->setChecked(c.checked != 0);
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            l->setText(ToQ(c.text));
        } else if (auto* p = qobject_cast<QProgressBar*>(w)) {
            p->setRange(c.rangeLow, c.rangeHigh);
            p->setValue(c.position);
        } else if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
            SyncTree(*tree, c);
        }
    }

    // The tree follows its state in batches, from a short timer rather than on every change:
    // a search may add thousands of modules within a fraction of a second, and reading their
    // replies must not wait for the widget. Only new items and the items reported changed are
    // touched, never the whole tree.
    void ScheduleTreeSync(int id) {
        treeId_ = id;
        if (!treeTimer_.isActive()) treeTimer_.start();
    }

    void SyncTree(QTreeWidget& tree, ControlState& c) {
        syncing_ = true;
        const HTREEITEM first = c.items.empty() ? 0 : c.items.front().handle;
        if (first != firstHandle_ || c.items.size() < qitems_.size()) {
            // Emptied (and perhaps filled again) since the last time.
            tree.clear();
            qitems_.clear();
            changedItems_.clear();
            firstHandle_ = first;
        }
        QList<QTreeWidgetItem*> topLevel;
        std::vector<QTreeWidgetItem*> expand;
        for (std::size_t k = qitems_.size(); k < c.items.size(); ++k) {
            const TreeItemState& item = c.items[k];
            QTreeWidgetItem* parent = nullptr;
            if (item.parent != 0) {
                if (const TreeItemState* p = c.FindItem(item.parent)) {
                    parent = qitems_[static_cast<std::size_t>(p - c.items.data())];
                }
            }
            auto* q = new QTreeWidgetItem();
            q->setData(0, Qt::UserRole, QVariant::fromValue<qulonglong>(item.handle));
            ShowItem(*q, item);
            if (parent != nullptr) {
                parent->addChild(q);
                expand.push_back(parent);
            } else {
                topLevel.push_back(q);
            }
            qitems_.push_back(q);
        }
        if (!topLevel.isEmpty()) tree.addTopLevelItems(topLevel);
        for (QTreeWidgetItem* parent : expand) parent->setExpanded(true);
        for (const HTREEITEM handle : changedItems_) {
            if (TreeItemState* item = c.FindItem(handle)) {
                ShowItem(*qitems_[static_cast<std::size_t>(item - c.items.data())], *item);
            }
        }
        changedItems_.clear();
        const TreeItemState* chosen = c.FindItem(c.selected);
        QTreeWidgetItem* selected = chosen != nullptr
                                        ? qitems_[static_cast<std::size_t>(chosen - c.items.data())]
                                        : nullptr;
        if (tree.currentItem() != selected) tree.setCurrentItem(selected);
        syncing_ = false;
    }

    static void ShowItem(QTreeWidgetItem& q, const TreeItemState& item) {
        const QString text = ToQ(item.text);
        if (q.text(0) != text) q.setText(0, text);
        const unsigned image = (item.state >> 12) & 0xF;
        if (q.data(0, Qt::UserRole + 1).toUInt() != image || q.icon(0).isNull() != (image == 0)) {
            q.setData(0, Qt::UserRole + 1, image);
            q.setIcon(0, StateImage(static_cast<int>(image)));
        }
    }

    QtHost& host_;
    CDialog& dialog_;
    std::unique_ptr<DialogWidget> widget_;
    std::map<int, QWidget*> widgets_;
    std::vector<QTreeWidgetItem*> qitems_;  // in the order of the state's items
    std::vector<HTREEITEM> changedItems_;   // changed since the last sync
    HTREEITEM firstHandle_ = 0;
    int treeId_ = resources::kNoControlId;
    QTimer treeTimer_;
    std::map<QWidget*, QRect> placed_;  // every control's place at the template's size
    QWidget* grows_ = nullptr;          // the control that takes a resized dialog's room
    QSize baseSize_;
    bool syncing_ = false;
};

QtHost::QtHost() = default;
QtHost::~QtHost() = default;

QWidget* QtHost::TopVisibleWindow() const {
    for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
        if ((*it)->Widget()->isVisible()) return (*it)->Widget();
    }
    return nullptr;
}

// A window is owned by the topmost window on screen, so it opens centred over it and shares its
// task-bar entry. With none on screen yet (an unattended run's main window stays hidden, a
// dialog is not shown before its initialisation ends) it has no owner, and Qt centres it on the
// screen; an owner that is not on screen would put it at the screen's corner.
std::unique_ptr<HostWindow> QtHost::CreateHostWindow(CDialog& dialog) {
    return std::make_unique<Window>(*this, dialog, TopVisibleWindow());
}

int QtHost::MessageBox(std::string_view text, std::string_view caption, unsigned type) {
    return MessageBoxWithDetails(text, caption, type, {});
}

int QtHost::MessageBoxWithDetails(std::string_view text, std::string_view caption,
                                  unsigned /*type*/, std::string_view details) {
    QWidget* parent = TopVisibleWindow();
    QMessageBox box(QMessageBox::Warning, ToQ(caption), ToQ(text), QMessageBox::Ok, parent);
    box.setWindowIcon(AppIcon());
    if (!details.empty()) box.setDetailedText(ToQ(details));
    KeepCaptionWhole(box);
    box.exec();
    return 1;
}

std::optional<std::string> QtHost::ChooseFile(const FileChooserRequest& request) {
    QWidget* parent = TopVisibleWindow();
    QStringList filters;
    for (const auto& f : request.filters) filters << NameFilter(f);
    // The desktop's own chooser (through its portal or theme) where there is one, Qt's otherwise.
    QFileDialog chooser(parent);
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setNameFilters(filters);
    if (!request.initialLocation.empty()) {
        // The stored value is a file's full path: open in its folder with the file selected.
        const QFileInfo info(ToQ(request.initialLocation));
        if (info.isDir()) {
            chooser.setDirectory(info.absoluteFilePath());
        } else {
            chooser.setDirectory(info.absolutePath());
            chooser.selectFile(info.fileName());
        }
    }
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return FromQ(QFileInfo(chooser.selectedFiles().first()).absoluteFilePath());
}

int RunWithQtHost(int argc, char** argv, const std::function<int()>& body) {
    QApplication application(argc, argv);
    // Dialogs come and go; the process ends when the program says so, not on the last close.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(AppIcon());
    QtEventLoop loop;
    net::EventLoop::SetCurrent(&loop);
    QtHost host;
    const int code = RunWithHost(host, body);
    net::EventLoop::SetCurrent(nullptr);
    return code;
}

}  // namespace omblor::framework
