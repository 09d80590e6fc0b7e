#include "fs/frmSpecifyDirectory.h"

#include "fs/NativePath.h"
#include "platform/Prompt.h"
#include "platform/Twips.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCollator>
#include <QColor>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QKeyEvent>
#include <QPalette>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>

namespace {

constexpr int kPathRole = Qt::UserRole;

#ifndef Q_OS_WIN
// Kernel and runtime file systems hold no pictures; offering them would only clutter the list.
bool isPseudoVolume(const QStorageInfo& volume) {
    static const QList<QByteArray> pseudoTypes = {
        "proc",       "sysfs",       "devtmpfs", "devpts",    "cgroup",
        "cgroup2",    "securityfs",  "debugfs",  "tracefs",   "pstore",
        "bpf",        "configfs",    "fusectl",  "hugetlbfs", "mqueue",
        "autofs",     "binfmt_misc", "efivarfs", "nsfs",      "rpc_pipefs",
        "selinuxfs",  "squashfs",    "tmpfs",    "ramfs",     "fuse.gvfsd-fuse",
        "fuse.portal"};
    if (pseudoTypes.contains(volume.fileSystemType())) {
        return true;
    }
    const QString root = volume.rootPath();
    const auto under = [&root](const QString& folder) {
        return root == folder || root.startsWith(folder + QLatin1Char('/'));
    };
    // Removable media are mounted under /run/media on some systems; the rest of /run is runtime state.
    return under(QStringLiteral("/dev")) || under(QStringLiteral("/proc")) || under(QStringLiteral("/sys")) ||
           (under(QStringLiteral("/run")) && !under(QStringLiteral("/run/media"))) || under(QStringLiteral("/snap"));
}
#endif

// Absolute, in native spelling, without a trailing separator except for a root.
QString cleanFolder(const QString& folder) {
    return QDir::toNativeSeparators(QDir::cleanPath(QDir(folder).absolutePath()));
}

// The folder and all folders above it, the root first.
QStringList ancestry(const QString& folder) {
    QStringList chain;
    QString path = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    for (int depth = 0; depth < 4096; ++depth) {
        chain.prepend(path);
        const QString parent = QFileInfo(path).path();
        if (parent == path || parent.isEmpty() || parent == QLatin1String(".")) {
            break;
        }
        path = parent;
    }
    return chain;
}

bool isUnder(const QString& folder, const QString& root) {
#ifdef Q_OS_WIN
    const Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
    const Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
    if (folder.compare(root, cs) == 0) {
        return true;
    }
    const QString withSeparator = root.endsWith(QDir::separator()) ? root : root + QDir::separator();
    return folder.startsWith(withSeparator, cs);
}

}  // namespace

frmSpecifyDirectory::frmSpecifyDirectory(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmSpecifyDirectory"));
    setWindowTitle(QStringLiteral("Specify folder"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(Twips::toPixels(3345), Twips::toPixels(3495));
    buildControls();
    fillDrives();

    // The first showing starts at the process's current drive and folder.
    const QString current = cleanFolder(QDir::currentPath());
    QString error;
    if (!openFolder(current, &error)) {
        showFolder(current, {});
    }
    const QSignalBlocker quiet(m_drive);
    m_drive->setCurrentIndex(driveIndexFor(current));
}

QString frmSpecifyDirectory::currentFolder() const {
    return m_folder;
}

bool frmSpecifyDirectory::setCurrentFolder(const QString& folder) {
    QString error;
    return openFolder(folder, &error);
}

void frmSpecifyDirectory::setBackgroundColour(const QColor& colour) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, colour);
    setPalette(palette);
    setAutoFillBackground(true);
}

void frmSpecifyDirectory::addDriveRoot(const QString& root) {
    const QString path = cleanFolder(root);
    if (m_drive->findData(path) >= 0) {
        return;
    }
    const QSignalBlocker quiet(m_drive);
    m_drive->addItem(path, path);
}

void frmSpecifyDirectory::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_closedThroughFrame = false;
    m_cancel->setFocus(Qt::OtherFocusReason);
}

void frmSpecifyDirectory::closeEvent(QCloseEvent* event) {
    m_closedThroughFrame = true;
    QDialog::closeEvent(event);
}

bool frmSpecifyDirectory::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_dir && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // Enter opens the entry, as a double-click does, and must not reach the dialog's buttons.
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (QTreeWidgetItem* item = m_dir->currentItem()) {
                Dir_Open(item);
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmSpecifyDirectory::reject() {
    blnAccept = false;
    QDialog::reject();
}

void frmSpecifyDirectory::cmdAccept_Click() {
    blnAccept = true;
    accept();
}

void frmSpecifyDirectory::cmdCancel_Click() {
    reject();
}

void frmSpecifyDirectory::Drive_Change(int index) {
    if (index < 0) {
        return;
    }
    QString target = m_drive->itemData(index).toString();
#ifdef Q_OS_WIN
    // Each drive remembers its own current folder; "D:" alone names it.
    if (target.size() == 3 && target.at(1) == QLatin1Char(':')) {
        const QString driveCurrent = QFileInfo(target.left(2)).absoluteFilePath();
        if (!driveCurrent.isEmpty()) {
            target = cleanFolder(driveCurrent);
        }
    }
#endif
    QString error;
    if (!openFolder(target, &error)) {
        // Dir keeps showing its folder; the Drive list keeps the new choice.
        Prompt::MsgBox(error, Prompt::Buttons::Ok, Prompt::Icon::Exclamation, QStringLiteral("Error"));
    }
}

void frmSpecifyDirectory::Dir_Open(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    // The item goes when Dir is rebuilt; keep its path.
    const QString target = item->data(0, kPathRole).toString();
    QString error;
    if (!openFolder(target, &error)) {
        Prompt::MsgBox(error, Prompt::Buttons::Ok, Prompt::Icon::Exclamation, QStringLiteral("Error"));
    }
}

void frmSpecifyDirectory::buildControls() {
    m_drive = new QComboBox(this);
    m_drive->setObjectName(QStringLiteral("Drive"));
    m_drive->setAccessibleName(QStringLiteral("Drive"));
    // The open list takes the focus; it is announced by the same name.
    m_drive->view()->setAccessibleName(m_drive->accessibleName());
    m_drive->setGeometry(Twips::rect(210, 210, 2955, 315));

    m_dir = new QTreeWidget(this);
    m_dir->setObjectName(QStringLiteral("Dir"));
    m_dir->setAccessibleName(QStringLiteral("Folder"));
    m_dir->setGeometry(Twips::rect(210, 735, 2955, 2115));
    m_dir->setHeaderHidden(true);
    m_dir->setRootIsDecorated(false);
    m_dir->setItemsExpandable(false);
    m_dir->setExpandsOnDoubleClick(false);
    m_dir->setIndentation(10);
    m_dir->setUniformRowHeights(true);
    m_dir->setSelectionMode(QAbstractItemView::SingleSelection);
    m_dir->installEventFilter(this);

    QFont buttonFont(QStringLiteral("MS Sans Serif"));
    buttonFont.setStyleHint(QFont::SansSerif);
    buttonFont.setPointSizeF(9.75);
    m_accept = new QPushButton(QStringLiteral("Accept"), this);
    m_accept->setObjectName(QStringLiteral("cmdAccept"));
    m_accept->setGeometry(Twips::rect(210, 3045, 1065, 330));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cancel->setGeometry(Twips::rect(2100, 3045, 1065, 330));
    for (QPushButton* button : {m_accept, m_cancel}) {
        button->setFont(buttonFont);
        button->setAccessibleName(button->text());
    }

    setTabOrder(m_drive, m_dir);
    setTabOrder(m_dir, m_accept);
    setTabOrder(m_accept, m_cancel);

    connect(m_accept, &QPushButton::clicked, this, &frmSpecifyDirectory::cmdAccept_Click);
    connect(m_cancel, &QPushButton::clicked, this, &frmSpecifyDirectory::cmdCancel_Click);
    connect(m_drive, &QComboBox::currentIndexChanged, this, &frmSpecifyDirectory::Drive_Change);
    connect(m_dir, &QTreeWidget::itemDoubleClicked, this, &frmSpecifyDirectory::Dir_Open);
}

void frmSpecifyDirectory::fillDrives() {
    const QSignalBlocker quiet(m_drive);
    m_drive->clear();
#ifdef Q_OS_WIN
    for (const QFileInfo& drive : QDir::drives()) {
        const QString root = cleanFolder(drive.absoluteFilePath());
        m_drive->addItem(root.left(2).toLower(), root);
    }
#else
    m_drive->addItem(QStringLiteral("/"), QStringLiteral("/"));
    QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
    std::sort(volumes.begin(), volumes.end(),
              [](const QStorageInfo& a, const QStorageInfo& b) { return a.rootPath() < b.rootPath(); });
    for (const QStorageInfo& volume : volumes) {
        const QString root = cleanFolder(volume.rootPath());
        if (!volume.isValid() || !volume.isReady() || isPseudoVolume(volume) || m_drive->findData(root) >= 0) {
            continue;
        }
        const QFileInfo info(root);
        if (!info.isDir() || !info.isReadable() || !info.isExecutable()) {
            continue;
        }
        const QString name = volume.name();
        m_drive->addItem(name.isEmpty() ? root : root + QStringLiteral(" [") + name + QLatin1Char(']'), root);
    }
    const QString home = cleanFolder(QDir::homePath());
    if (m_drive->findData(home) < 0 && QFileInfo(home).isDir()) {
        m_drive->addItem(home, home);
    }
#endif
}

int frmSpecifyDirectory::driveIndexFor(const QString& folder) const {
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < m_drive->count(); ++i) {
        const QString root = m_drive->itemData(i).toString();
        if (isUnder(folder, root) && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

bool frmSpecifyDirectory::openFolder(const QString& folder, QString* error) {
    const QString path = cleanFolder(folder);
    std::error_code failure;
    QStringList subfolders;
    // std::filesystem rather than QDir, which cannot tell an unreadable folder from an empty one.
    std::filesystem::directory_iterator entry(FsDetail::toFsPath(path), failure);
    const std::filesystem::directory_iterator end;
    while (!failure && entry != end) {
        std::error_code typeFailure;
        if (entry->is_directory(typeFailure)) {
            const QString full = FsDetail::fromFsPath(entry->path());
            if (!QFileInfo(full).isHidden()) {
                subfolders << FsDetail::fromFsPath(entry->path().filename());
            }
        }
        entry.increment(failure);
    }
    if (failure) {
        *error = FsDetail::describe(failure);
        return false;
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::sort(subfolders.begin(), subfolders.end(), [&collator](const QString& a, const QString& b) {
        const int order = collator.compare(a, b);
        return order != 0 ? order < 0 : a < b;
    });
    showFolder(path, subfolders);
    return true;
}

void frmSpecifyDirectory::showFolder(const QString& folder, const QStringList& subfolders) {
    m_folder = folder;
    m_dir->clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    QTreeWidgetItem* parent = nullptr;
    for (const QString& path : ancestry(folder)) {
        const QString native = QDir::toNativeSeparators(path);
        const QString name = QFileInfo(path).fileName();
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_dir);
        item->setText(0, name.isEmpty() ? native : name);
        item->setIcon(0, open);
        item->setData(0, kPathRole, native);
        parent = item;
    }
    const QString base = folder.endsWith(QDir::separator()) ? folder : folder + QDir::separator();
    for (const QString& name : subfolders) {
        auto* item = new QTreeWidgetItem(parent);
        item->setText(0, name);
        item->setIcon(0, closed);
        item->setData(0, kPathRole, base + name);
    }
    m_dir->expandAll();
    m_dir->setCurrentItem(parent);
    m_dir->scrollToItem(parent);
}
