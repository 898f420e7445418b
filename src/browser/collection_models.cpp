#include "browser/collection_models.h"

#include <QApplication>
#include <QBrush>
#include <QStyle>

#include <algorithm>
#include <unordered_set>

namespace glyphora {

namespace {

constexpr int kFixedRows = 2;  // favourites and recent AAs, above the roots
constexpr std::size_t kListedCopies = 20;

QString from_utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool is_container(TreeRowKind kind) {
    return kind == TreeRowKind::root || kind == TreeRowKind::folder || kind == TreeRowKind::zip;
}

TreeRowKind row_kind(collection::TreeNode::Kind kind) {
    switch (kind) {
        case collection::TreeNode::Kind::root:
            return TreeRowKind::root;
        case collection::TreeNode::Kind::folder:
            return TreeRowKind::folder;
        case collection::TreeNode::Kind::zip:
            return TreeRowKind::zip;
        case collection::TreeNode::Kind::file:
            break;
    }
    return TreeRowKind::file;
}

std::string base_name(const std::string& location) {
    const std::size_t cut = location.find_last_of("/!");
    return cut == std::string::npos ? location : location.substr(cut + 1);
}

}  // namespace

struct CollectionTreeModel::Node {
    TreeRowKind kind = TreeRowKind::folder;
    collection::TreeNode info;
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;
    bool loaded = false;

    int row() const {
        if (!parent) return 0;
        for (std::size_t i = 0; i < parent->children.size(); ++i)
            if (parent->children[i].get() == this) return static_cast<int>(i);
        return 0;
    }
};

CollectionTreeModel::CollectionTreeModel(QObject* parent) : QAbstractItemModel(parent), root_(new Node) {
    for (const TreeRowKind kind : {TreeRowKind::favourites, TreeRowKind::recent}) {
        auto fixed = std::make_unique<Node>();
        fixed->kind = kind;
        fixed->parent = root_.get();
        fixed->loaded = true;
        root_->children.push_back(std::move(fixed));
    }
}

CollectionTreeModel::~CollectionTreeModel() = default;

void CollectionTreeModel::set_index(collection::CollectionIndex* index) {
    index_ = index;
    root_->loaded = true;
    refresh();
}

void CollectionTreeModel::refresh() {
    refresh_children(root_.get());
}

std::vector<collection::TreeNode> CollectionTreeModel::read_children(const Node* node) {
    if (!index_) return {};
    return index_->children(node == root_.get() ? std::string() : node->info.location);
}

void CollectionTreeModel::refresh_children(Node* node) {
    if (!node->loaded) return;
    const int first = node == root_.get() ? kFixedRows : 0;
    const std::vector<collection::TreeNode> fresh = read_children(node);
    const QModelIndex parent = index_of(node);

    // Rows that are gone leave, from the bottom up.
    std::unordered_set<std::string> wanted;
    for (const collection::TreeNode& n : fresh) wanted.insert(n.location);
    for (int row = static_cast<int>(node->children.size()) - 1; row >= first; --row) {
        if (wanted.count(node->children[static_cast<std::size_t>(row)]->info.location)) continue;
        beginRemoveRows(parent, row, row);
        node->children.erase(node->children.begin() + row);
        endRemoveRows();
    }
    // The rest are merged in order: kept rows are updated in place, new ones inserted where they belong.
    int row = first;
    for (const collection::TreeNode& n : fresh) {
        const std::size_t at = static_cast<std::size_t>(row);
        if (at < node->children.size() && node->children[at]->info.location == n.location) {
            Node* kept = node->children[at].get();
            const bool changed = kept->info.aa_count != n.aa_count || kept->info.error != n.error ||
                                 kept->info.name != n.name || kept->info.file_id != n.file_id;
            kept->info = n;
            kept->kind = row_kind(n.kind);
            if (changed) {
                const QModelIndex i = createIndex(row, 0, kept);
                Q_EMIT dataChanged(i, i);
            }
            refresh_children(kept);
        } else {
            auto added = std::make_unique<Node>();
            added->kind = row_kind(n.kind);
            added->info = n;
            added->parent = node;
            beginInsertRows(parent, row, row);
            node->children.insert(node->children.begin() + row, std::move(added));
            endInsertRows();
        }
        ++row;
    }
    // Rows the index lists in another order than before would be left over behind the merged ones.
    if (static_cast<std::size_t>(row) < node->children.size()) {
        beginRemoveRows(parent, row, static_cast<int>(node->children.size()) - 1);
        node->children.resize(static_cast<std::size_t>(row));
        endRemoveRows();
    }
}

CollectionTreeModel::Node* CollectionTreeModel::node_of(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : root_.get();
}

QModelIndex CollectionTreeModel::index_of(Node* node) const {
    if (!node || node == root_.get()) return {};
    return createIndex(node->row(), 0, node);
}

TreeRowKind CollectionTreeModel::kind(const QModelIndex& index) const {
    return node_of(index)->kind;
}

const collection::TreeNode* CollectionTreeModel::node(const QModelIndex& index) const {
    const Node* n = node_of(index);
    return n == root_.get() || !index.isValid() || !n->parent || n->kind == TreeRowKind::favourites ||
                   n->kind == TreeRowKind::recent
               ? nullptr
               : &n->info;
}

QModelIndex CollectionTreeModel::find(const std::string& location) const {
    std::vector<Node*> todo{root_.get()};
    while (!todo.empty()) {
        Node* n = todo.back();
        todo.pop_back();
        for (const auto& child : n->children) {
            if (child->kind != TreeRowKind::favourites && child->kind != TreeRowKind::recent &&
                child->info.location == location)
                return index_of(child.get());
            todo.push_back(child.get());
        }
    }
    return {};
}

QModelIndex CollectionTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const Node* p = node_of(parent);
    if (row < 0 || column != 0 || static_cast<std::size_t>(row) >= p->children.size()) return {};
    return createIndex(row, column, p->children[static_cast<std::size_t>(row)].get());
}

QModelIndex CollectionTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) return {};
    return index_of(node_of(child)->parent);
}

int CollectionTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    return static_cast<int>(node_of(parent)->children.size());
}

int CollectionTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool CollectionTreeModel::hasChildren(const QModelIndex& parent) const {
    const Node* n = node_of(parent);
    if (n == root_.get()) return true;
    if (!is_container(n->kind)) return false;
    return !n->loaded || !n->children.empty();
}

bool CollectionTreeModel::canFetchMore(const QModelIndex& parent) const {
    const Node* n = node_of(parent);
    return n != root_.get() && is_container(n->kind) && !n->loaded && index_;
}

void CollectionTreeModel::fetchMore(const QModelIndex& parent) {
    Node* n = node_of(parent);
    if (n == root_.get() || n->loaded) return;
    n->loaded = true;
    refresh_children(n);
}

QVariant CollectionTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const Node* n = node_of(index);
    const QStyle* style = QApplication::style();
    switch (n->kind) {
        case TreeRowKind::favourites:
            if (role == Qt::DisplayRole) return QString::fromUtf8("★ お気に入り");
            return {};
        case TreeRowKind::recent:
            if (role == Qt::DisplayRole) return QString::fromUtf8("最近使ったAA");
            return {};
        default:
            break;
    }
    const collection::TreeNode& info = n->info;
    switch (role) {
        case Qt::DisplayRole: {
            QString text = from_utf8(info.name);
            if (!info.error.empty()) return text + QString::fromUtf8(" — ") + from_utf8(info.error);
            if (info.aa_count > 0) text += QStringLiteral(" (%1)").arg(info.aa_count);
            return text;
        }
        case Qt::ToolTipRole:
            return info.error.empty() ? from_utf8(info.location)
                                      : from_utf8(info.location) + QLatin1Char('\n') + from_utf8(info.error);
        case Qt::ForegroundRole:
            if (!info.error.empty()) return QBrush(Qt::darkRed);
            return {};
        case Qt::DecorationRole:
            if (!style) return {};
            if (!info.error.empty()) return style->standardIcon(QStyle::SP_MessageBoxWarning);
            return style->standardIcon(n->kind == TreeRowKind::file ? QStyle::SP_FileIcon
                                                                    : QStyle::SP_DirIcon);
        case kLocationRole:
            return from_utf8(info.location);
        default:
            return {};
    }
}

// --- The AAs

std::string aa_reference(const ShownAa& shown) {
    return shown.location + ":" + std::to_string(shown.aa.ordinal);
}

std::string aa_caption(const ShownAa& shown) {
    if (!shown.aa.title.empty()) return shown.aa.title;
    if (!shown.aa.heading.empty()) return shown.aa.heading;
    return base_name(shown.location) + ":" + std::to_string(shown.aa.ordinal);
}

std::string aa_details(const ShownAa& shown) {
    std::string text = aa_reference(shown);
    if (!shown.aa.title.empty()) text += "\n" + shown.aa.title;
    if (!shown.aa.heading.empty()) text += "\n" + shown.aa.heading;
    text += "\n" + std::to_string(shown.aa.width_px) + " px × " + std::to_string(shown.aa.lines) + " 行";
    if (!shown.also_in.empty()) {
        text += "\n同じAA: ほか" + std::to_string(shown.also_in.size()) + "か所";
        for (std::size_t i = 0; i < shown.also_in.size() && i < kListedCopies; ++i)
            text += "\n  " + shown.also_in[i];
        if (shown.also_in.size() > kListedCopies) text += "\n  …";
    }
    return text;
}

AaListModel::AaListModel(QObject* parent) : QAbstractListModel(parent) {}

void AaListModel::set_items(std::vector<ShownAa> items) {
    beginResetModel();
    items_ = std::move(items);
    rows_.clear();
    for (std::size_t i = 0; i < items_.size(); ++i) rows_.emplace(items_[i].aa.id, static_cast<int>(i));
    // An AA that could not be read may be readable again once the file was indexed anew.
    unreadable_.clear();
    endResetModel();
}

const ShownAa* AaListModel::item(const QModelIndex& index) const {
    if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= items_.size())
        return nullptr;
    return &items_[static_cast<std::size_t>(index.row())];
}

void AaListModel::thumbnail_ready(std::int64_t aa_id, const QImage& image) {
    pending_.erase(aa_id);
    if (image.isNull()) {
        unreadable_.insert(aa_id);
    } else {
        cache_.insert(aa_id, new QImage(image), std::max<qsizetype>(1, image.sizeInBytes()));
    }
    const auto [first, last] = rows_.equal_range(aa_id);
    for (auto it = first; it != last; ++it) {
        const QModelIndex i = index(it->second);
        Q_EMIT dataChanged(i, i, {Qt::DecorationRole, kThumbnailStateRole});
    }
}

void AaListModel::thumbnail_dropped(std::int64_t aa_id) {
    pending_.erase(aa_id);
}

void AaListModel::clear_thumbnails() {
    cache_.clear();
    pending_.clear();
    unreadable_.clear();
    if (!items_.empty()) Q_EMIT dataChanged(index(0), index(static_cast<int>(items_.size()) - 1));
}

void AaListModel::favourites_changed() {
    if (!items_.empty())
        Q_EMIT dataChanged(index(0), index(static_cast<int>(items_.size()) - 1), {kFavouriteRole});
}

int AaListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

QVariant AaListModel::data(const QModelIndex& index, int role) const {
    const ShownAa* shown = item(index);
    if (!shown) return {};
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(aa_caption(*shown));
        case Qt::ToolTipRole:
            return QString::fromStdString(aa_details(*shown));
        case Qt::DecorationRole: {
            const std::int64_t id = shown->aa.id;
            if (const QImage* image = cache_.object(id)) return *image;
            // Drawn only once it is shown: a file of thousands of AAs asks for the few in view.
            if (!unreadable_.count(id) && !pending_.count(id) && request_) {
                pending_.insert(id);
                ++requests_;
                request_(shown->aa);
            }
            return {};
        }
        case kThumbnailStateRole:
            if (cache_.contains(shown->aa.id)) return 1;
            return unreadable_.count(shown->aa.id) ? 2 : 0;
        case kFavouriteRole:
            return is_favourite_ && is_favourite_(*shown);
        default:
            return {};
    }
}

}  // namespace glyphora
