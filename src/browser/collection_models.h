#pragma once
// The models behind the collection window's two views: the tree of the collection (favourites, recent AAs,
// then the roots with their folders, ZIP files and files, read from the index as they are expanded) and the
// AAs shown as thumbnails (a file's, a search's, the favourites or the recent ones).

#include <QAbstractItemModel>
#include <QAbstractListModel>
#include <QCache>
#include <QImage>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "collection/collection_index.h"

namespace glyphora {

// What a tree row stands for.
enum class TreeRowKind { favourites, recent, root, folder, zip, file };

class CollectionTreeModel : public QAbstractItemModel {
    Q_OBJECT

  public:
    static constexpr int kLocationRole = Qt::UserRole + 1;

    explicit CollectionTreeModel(QObject* parent = nullptr);
    ~CollectionTreeModel() override;

    // The index the rows are read from (owned elsewhere, used on this thread); null shows only the two
    // fixed rows.
    void set_index(collection::CollectionIndex* index);
    // Reads again every level that was read, adding and removing rows where the index changed and updating
    // the rest in place, so that the selection and the expanded folders stay.
    void refresh();

    TreeRowKind kind(const QModelIndex& index) const;
    const collection::TreeNode* node(const QModelIndex& index) const;  // null for the fixed rows
    // The row of a location among what was read; invalid when it is not.
    QModelIndex find(const std::string& location) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

  private:
    struct Node;
    Node* node_of(const QModelIndex& index) const;
    QModelIndex index_of(Node* node) const;
    void refresh_children(Node* node);
    std::vector<collection::TreeNode> read_children(const Node* node);

    collection::CollectionIndex* index_ = nullptr;
    std::unique_ptr<Node> root_;
};

// One AA of the list: identical copies folded into it.
struct ShownAa {
    collection::AaInfo aa;
    std::string location;              // its file
    std::vector<std::string> also_in;  // "LOCATION:N" of the other copies
};

// "LOCATION:N", as the command line prints it.
std::string aa_reference(const ShownAa& shown);
// The caption under a thumbnail: title, heading, else the file's name and the ordinal (UTF-8).
std::string aa_caption(const ShownAa& shown);
// The detail line of an AA: where it lives, its size, and where its copies live (UTF-8, LF between lines).
std::string aa_details(const ShownAa& shown);

class AaListModel : public QAbstractListModel {
    Q_OBJECT

  public:
    static constexpr int kFavouriteRole = Qt::UserRole + 1;
    static constexpr int kThumbnailStateRole = Qt::UserRole + 2;  // 0 wanted, 1 drawn, 2 cannot be read
    // The cache holds this many bytes of thumbnails at most.
    static constexpr int kCacheBytes = 48 << 20;

    explicit AaListModel(QObject* parent = nullptr);

    void set_items(std::vector<ShownAa> items);
    const std::vector<ShownAa>& items() const { return items_; }
    const ShownAa* item(const QModelIndex& index) const;

    // Asked for when a thumbnail that is not drawn is shown; the answer comes through thumbnail_ready.
    void set_thumbnail_request(std::function<void(const collection::AaInfo&)> request) {
        request_ = std::move(request);
    }
    void set_favourite_test(std::function<bool(const ShownAa&)> test) { is_favourite_ = std::move(test); }
    // A drawn thumbnail (null: the AA cannot be read now).
    void thumbnail_ready(std::int64_t aa_id, const QImage& image);
    // A request that was dropped before it was drawn: it may be asked for again.
    void thumbnail_dropped(std::int64_t aa_id);
    // Forgets every thumbnail (the cell size changed).
    void clear_thumbnails();
    void favourites_changed();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    std::size_t thumbnail_requests() const { return requests_; }

  private:
    std::vector<ShownAa> items_;
    std::unordered_multimap<std::int64_t, int> rows_;  // AA id -> rows
    mutable QCache<std::int64_t, QImage> cache_{kCacheBytes};
    std::unordered_set<std::int64_t> unreadable_;
    mutable std::unordered_set<std::int64_t> pending_;
    mutable std::size_t requests_ = 0;
    std::function<void(const collection::AaInfo&)> request_;
    std::function<bool(const ShownAa&)> is_favourite_;
};

}  // namespace glyphora
