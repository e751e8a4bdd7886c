#include "layout/base/PLRLayoutChange.h"

#include "layout/base/PLRLayoutManager.h"
#include "platform/Log.h"
#include "platform/UndoManager.h"

#include <google/protobuf/descriptor.h>
#include <google/protobuf/message.h>

#include <QSet>

#include <algorithm>
#include <memory>
#include <set>

using google::protobuf::Descriptor;
using google::protobuf::FieldDescriptor;
using google::protobuf::Message;
using google::protobuf::Reflection;

namespace {

using FieldMap = std::map<std::string, std::string>;
using IdList = std::vector<std::string>;

// Above this many cells the order of a list's middle is not searched for the blocks that kept
// their place: every block there counts as moved (right, only less economical).
constexpr size_t kMaxOrderCells = 250000;

bool isChildren(const FieldDescriptor* field)
{
    return field->is_repeated() && field->cpp_type() == FieldDescriptor::CPPTYPE_MESSAGE
           && field->message_type() == PLRBlock::descriptor();
}

bool isIdentity(const FieldDescriptor* field)
{
    return field->containing_type() == PLRBlock::descriptor() && field->number() == PLRBlock::kIdFieldNumber;
}

// The block's message, the blocks inside it left out.
PLRBlock ownBlock(const PLRBlock& block)
{
    PLRBlock own(block);
    if (own.has_container())
        own.mutable_container()->clear_sub_blocks();
    return own;
}

template <class M>
M parsed(const std::string& bytes)
{
    M message;
    if (!message.ParseFromString(bytes))
        PLR_LOG_ERROR(QStringLiteral("A recorded layout change could not be read back; its part is left out"));
    return message;
}

// The value of one field that is not a message, as the bytes of a message holding it alone.
std::string fieldValue(const Message& message, const FieldDescriptor* field)
{
    std::unique_ptr<Message> copy(message.New());
    copy->CopyFrom(message);
    std::unique_ptr<Message> only(message.New());
    copy->GetReflection()->SwapFields(copy.get(), only.get(), {field});
    return only->SerializeAsString();
}

// Every field of a block's own message by path (see Field in the header).
void flatten(const Message& message, const std::string& prefix, FieldMap& out)
{
    const Descriptor* descriptor = message.GetDescriptor();
    const Reflection* reflection = message.GetReflection();
    for (int i = 0; i < descriptor->field_count(); ++i) {
        const FieldDescriptor* field = descriptor->field(i);
        if (isChildren(field) || isIdentity(field))
            continue;
        const std::string path = prefix + field->name();
        if (!field->is_repeated() && field->cpp_type() == FieldDescriptor::CPPTYPE_MESSAGE) {
            if (reflection->HasField(message, field)) {
                out[path + "?"] = std::string();
                flatten(reflection->GetMessage(message, field), path + ".", out);
            }
            continue;
        }
        out[path] = fieldValue(message, field);
    }
}

FieldMap flattened(const PLRBlock& block)
{
    FieldMap fields;
    flatten(block, std::string(), fields);
    return fields;
}

std::optional<std::string> valueAt(const FieldMap& fields, const std::string& path)
{
    const auto it = fields.find(path);
    return it == fields.end() ? std::nullopt : std::optional<std::string>(it->second);
}

std::vector<std::string> splitPath(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t dot = path.find('.', start);
        parts.push_back(path.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos)
            return parts;
        start = dot + 1;
    }
}

// Sets the field at the path to the value (none: absent). False when the path names no field.
bool setField(Message* root, const std::string& path, const std::optional<std::string>& value)
{
    const std::vector<std::string> parts = splitPath(path);
    Message* message = root;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const FieldDescriptor* field = message->GetDescriptor()->FindFieldByName(parts[i]);
        if (!field || field->is_repeated() || field->cpp_type() != FieldDescriptor::CPPTYPE_MESSAGE)
            return false;
        if (!value && !message->GetReflection()->HasField(*message, field))
            return true;   // nothing to clear below an absent message
        message = message->GetReflection()->MutableMessage(message, field);
    }
    std::string name = parts.back();
    const bool presence = !name.empty() && name.back() == '?';
    if (presence)
        name.pop_back();
    const FieldDescriptor* field = message->GetDescriptor()->FindFieldByName(name);
    if (!field)
        return false;
    const Reflection* reflection = message->GetReflection();
    if (presence) {
        if (field->is_repeated() || field->cpp_type() != FieldDescriptor::CPPTYPE_MESSAGE)
            return false;
        if (value)
            reflection->MutableMessage(message, field);
        else
            reflection->ClearField(message, field);
        return true;
    }
    if (!value)
        return true;   // absent only with its message, whose presence clears it
    std::unique_ptr<Message> only(message->New());
    if (!only->ParseFromString(*value))
        return false;
    reflection->SwapFields(message, only.get(), {field});
    return true;
}

std::vector<PLRLayoutChange::Field> fieldChanges(const std::string& fromBytes, const std::string& toBytes)
{
    const FieldMap from = flattened(parsed<PLRBlock>(fromBytes));
    const FieldMap to = flattened(parsed<PLRBlock>(toBytes));
    std::set<std::string> paths;
    for (const auto& entry : from)
        paths.insert(entry.first);
    for (const auto& entry : to)
        paths.insert(entry.first);
    std::vector<PLRLayoutChange::Field> changes;
    for (const std::string& path : paths) {
        std::optional<std::string> a = valueAt(from, path);
        std::optional<std::string> b = valueAt(to, path);
        if (a != b)
            changes.push_back({path, std::move(a), std::move(b)});
    }
    return changes;
}

bool pathWithin(const std::string& path, const std::string& scope)
{
    if (path.compare(0, scope.size(), scope) != 0)
        return false;
    return path.size() == scope.size() || path[scope.size()] == '.' || path[scope.size()] == '?';
}

// The elements of `a` (and of `b`: the same ones in another order) that do not keep their order
// from one to the other: those outside a longest common subsequence.
std::set<std::string> reordered(const IdList& a, const IdList& b)
{
    size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    const IdList x(a.begin() + qsizetype(head), a.end() - qsizetype(tail));
    const IdList y(b.begin() + qsizetype(head), b.end() - qsizetype(tail));
    std::set<std::string> moved(x.begin(), x.end());
    if (x.empty() || y.empty() || (x.size() + 1) * (y.size() + 1) > kMaxOrderCells)
        return moved;
    std::vector<std::vector<int>> length(x.size() + 1, std::vector<int>(y.size() + 1, 0));
    for (size_t i = x.size(); i-- > 0;)
        for (size_t j = y.size(); j-- > 0;)
            length[i][j] = x[i] == y[j] ? length[i + 1][j + 1] + 1 : std::max(length[i + 1][j], length[i][j + 1]);
    for (size_t i = 0, j = 0; i < x.size() && j < y.size();) {
        if (x[i] == y[j]) {
            moved.erase(x[i]);
            ++i;
            ++j;
        } else if (length[i + 1][j] >= length[i][j + 1]) {
            ++i;
        } else {
            ++j;
        }
    }
    return moved;
}

// The layout being merged: blocks by identifier, each section's and container's list.
class Working {
public:
    struct Place {
        PLRBlockParent parent;
        int index = 0;
    };

    explicit Working(const PLRLayoutState& state)
    {
        for (const std::string& bytes : state.sections)
            sections.push_back(parsed<PLRSection>(bytes));
        for (const auto& [id, block] : state.blocks) {
            content.emplace(id, parsed<PLRBlock>(block.own));
            parentOf.emplace(id, block.parent);
        }
        lists = state.lists;
    }

    bool has(const std::string& id) const { return content.contains(id); }
    bool isContainer(const std::string& id) const
    {
        const auto it = content.find(id);
        return it != content.end() && it->second.has_container();
    }
    bool isPlaced(const std::string& id) const { return parentOf.contains(id); }

    // A parent a block can go into now: an existing section, or a placed container.
    bool available(const PLRBlockParent& parent) const
    {
        if (parent.isSection())
            return parent.section < int(sections.size());
        return isContainer(parent.container) && isPlaced(parent.container);
    }

    // Whether putting `id` into `parent` would put it inside itself.
    bool wouldCycle(const std::string& id, const PLRBlockParent& parent) const
    {
        std::string current = parent.container;
        for (size_t steps = 0; !current.empty() && steps <= content.size(); ++steps) {
            if (current == id)
                return true;
            const auto it = parentOf.find(current);
            if (it == parentOf.end() || it->second.isSection())
                return false;
            current = it->second.container;
        }
        return !current.empty();
    }

    // Takes the block out of its list; answers where it stood.
    std::optional<Place> detach(const std::string& id, std::set<std::string>& lost)
    {
        const auto it = parentOf.find(id);
        if (it == parentOf.end())
            return std::nullopt;
        Place place{it->second, 0};
        parentOf.erase(it);
        IdList& list = lists[place.parent];
        const auto at = std::find(list.begin(), list.end(), id);
        if (at != list.end()) {
            place.index = int(at - list.begin());
            list.erase(at);
        }
        if (!place.parent.isSection())
            lost.insert(place.parent.container);
        return place;
    }

    void insert(const std::string& id, const PLRBlockParent& parent, int index)
    {
        IdList& list = lists[parent];
        index = std::clamp(index, 0, int(list.size()));
        list.insert(list.begin() + index, id);
        parentOf[id] = parent;
    }

    // Inserts after the nearest block before it in `guide` that is in the list now, else before
    // the nearest one after it, else at its index in `guide`.
    void insertGuided(const std::string& id, const PLRBlockParent& parent, const IdList& guide)
    {
        const IdList& list = lists[parent];
        const auto self = std::find(guide.begin(), guide.end(), id);
        if (self == guide.end()) {
            insert(id, parent, int(list.size()));
            return;
        }
        for (auto it = std::make_reverse_iterator(self); it != guide.rend(); ++it) {
            const auto found = std::find(list.begin(), list.end(), *it);
            if (found != list.end()) {
                insert(id, parent, int(found - list.begin()) + 1);
                return;
            }
        }
        for (auto it = self + 1; it != guide.end(); ++it) {
            const auto found = std::find(list.begin(), list.end(), *it);
            if (found != list.end()) {
                insert(id, parent, int(found - list.begin()));
                return;
            }
        }
        insert(id, parent, int(self - guide.begin()));
    }

    // Takes the block out of the layout; the blocks inside it take its place.
    void remove(const std::string& id, std::set<std::string>& lost)
    {
        const std::optional<Place> place = detach(id, lost);
        IdList inside;
        if (const auto it = lists.find(PLRBlockParent::ofContainer(id)); it != lists.end()) {
            inside = std::move(it->second);
            lists.erase(it);
        }
        int index = place ? place->index : 0;
        for (const std::string& child : inside) {
            parentOf.erase(child);
            if (place)
                insert(child, place->parent, index++);
        }
        content.erase(id);
    }

    // The last section (a new one when there is none), for blocks that have nowhere else to go.
    PLRBlockParent lastSection()
    {
        if (sections.empty()) {
            PLRSection section;
            section.mutable_stacked();
            sections.push_back(section);
        }
        return PLRBlockParent::ofSection(int(sections.size()) - 1);
    }

    // The layout's sections, built from the lists. Blocks no list reaches (none should be) go to
    // the end of the last section: nothing is lost.
    std::vector<PLRSection> build()
    {
        std::vector<PLRSection> built;
        std::set<std::string> done;
        struct Item {
            PLRBlock* block;
            std::string id;
        };
        std::vector<Item> stack;
        const auto fill = [&](google::protobuf::RepeatedPtrField<PLRBlock>* into, const IdList& ids) {
            for (const std::string& id : ids) {
                const auto it = content.find(id);
                if (it == content.end() || !done.insert(id).second)
                    continue;
                PLRBlock* block = into->Add();
                block->CopyFrom(it->second);
                stack.push_back({block, id});
            }
        };
        const auto drain = [&] {
            while (!stack.empty()) {
                const Item item = stack.back();
                stack.pop_back();
                if (!item.block->has_container())
                    continue;
                const auto children = lists.find(PLRBlockParent::ofContainer(item.id));
                if (children != lists.end())
                    fill(item.block->mutable_container()->mutable_sub_blocks(), children->second);
            }
        };
        for (int s = 0; s < int(sections.size()); ++s) {
            built.push_back(sections[size_t(s)]);
            const auto top = lists.find(PLRBlockParent::ofSection(s));
            if (top != lists.end())
                fill(built.back().mutable_blocks(), top->second);
            drain();
        }
        int stray = 0;
        for (const auto& entry : content) {
            if (done.contains(entry.first))
                continue;
            if (built.empty()) {
                built.push_back(PLRSection());
                built.back().mutable_stacked();
            }
            fill(built.back().mutable_blocks(), {entry.first});
            drain();
            ++stray;
        }
        if (stray > 0)
            PLR_LOG_WARN(QStringLiteral("%1 block(s) had no place after a layout change; put at the end of the last section").arg(stray));
        return built;
    }

    std::vector<PLRSection> sections;
    std::map<std::string, PLRBlock> content;
    std::map<std::string, PLRBlockParent> parentOf;
    std::map<PLRBlockParent, IdList> lists;
};

// Merges one block's field changes into its content; answers how many it left as they are now.
int mergeFields(PLRBlock* block, const std::vector<PLRLayoutChange::Field>& fields)
{
    const FieldMap now = flattened(*block);
    std::vector<const PLRLayoutChange::Field*> creates;
    std::vector<const PLRLayoutChange::Field*> sets;
    std::vector<const PLRLayoutChange::Field*> clears;
    int kept = 0;
    for (const PLRLayoutChange::Field& field : fields) {
        if (valueAt(now, field.path) != field.from) {
            ++kept;   // changed since: the later value stays
            continue;
        }
        const bool presence = !field.path.empty() && field.path.back() == '?';
        if (presence)
            (field.to ? creates : clears).push_back(&field);
        else
            sets.push_back(&field);
    }
    for (const auto* group : {&creates, &sets, &clears}) {
        for (const PLRLayoutChange::Field* field : *group) {
            if (!setField(block, field->path, field->to))
                PLR_LOG_WARN(QStringLiteral("A recorded change of the field \"%1\" names no field of a block; left out")
                                 .arg(QString::fromStdString(field->path)));
        }
    }
    return kept;
}

} // namespace

// --- State ---------------------------------------------------------------------------------------

PLRLayoutState PLRLayoutState::capture(const PLRLayout& layout)
{
    PLRLayoutState state;
    struct Item {
        const PLRBlock* block;
        PLRBlockParent parent;
    };
    std::vector<Item> stack;
    int duplicates = 0;
    for (int s = 0; s < layout.sections_size(); ++s) {
        PLRSection own(layout.sections(s));
        own.clear_blocks();
        state.sections.push_back(own.SerializeAsString());
        const PLRSection& section = layout.sections(s);
        for (int i = section.blocks_size() - 1; i >= 0; --i)
            stack.push_back({&section.blocks(i), PLRBlockParent::ofSection(s)});
        while (!stack.empty()) {
            const Item item = stack.back();
            stack.pop_back();
            const std::string& id = item.block->id();
            if (!state.blocks.emplace(id, Block{item.parent, ownBlock(*item.block).SerializeAsString()}).second) {
                ++duplicates;
                continue;
            }
            state.lists[item.parent].push_back(id);
            if (item.block->has_container()) {
                const auto& subs = item.block->container().sub_blocks();
                for (int i = subs.size() - 1; i >= 0; --i)
                    stack.push_back({&subs.Get(i), PLRBlockParent::ofContainer(id)});
            }
        }
    }
    if (duplicates > 0)
        PLR_LOG_ERROR(QStringLiteral("%1 block(s) share an identifier with another block; they are left out of the record").arg(duplicates));
    return state;
}

int PLRLayoutState::giveBlocksUniqueIdentifiers(PLRLayout* layout)
{
    if (!layout)
        return 0;
    QSet<QByteArray> seen;
    int changed = 0;
    std::vector<PLRBlock*> stack;
    for (PLRSection& section : *layout->mutable_sections()) {
        for (int i = section.blocks_size() - 1; i >= 0; --i)
            stack.push_back(section.mutable_blocks(i));
        while (!stack.empty()) {
            PLRBlock* block = stack.back();
            stack.pop_back();
            const QByteArray id = QByteArray::fromStdString(block->id());
            if (id.isEmpty() || seen.contains(id)) {
                QByteArray fresh;
                do {
                    fresh = plr::newBlockIdentifier().toUtf8();
                } while (seen.contains(fresh));
                block->set_id(fresh.toStdString());
                seen.insert(fresh);
                ++changed;
            } else {
                seen.insert(id);
            }
            if (block->has_container()) {
                auto* subs = block->mutable_container()->mutable_sub_blocks();
                for (int i = subs->size() - 1; i >= 0; --i)
                    stack.push_back(subs->Mutable(i));
            }
        }
    }
    if (changed > 0)
        PLR_LOG_WARN(QStringLiteral("%1 block(s) of the layout had no identifier of their own; each got a new one").arg(changed));
    return changed;
}

// --- Change --------------------------------------------------------------------------------------

PLRLayoutChange PLRLayoutChange::between(const PLRLayoutState& before, const PLRLayoutState& after)
{
    PLRLayoutChange change;
    change.m_sectionsFrom = before.sections;
    change.m_sectionsTo = after.sections;
    for (const auto& [id, from] : before.blocks) {
        const auto it = after.blocks.find(id);
        if (it == after.blocks.end()) {
            BlockChange& entry = change.m_blocks[id];
            entry.from = from;
            entry.moves = true;
            continue;
        }
        const PLRLayoutState::Block& to = it->second;
        const bool moved = from.parent != to.parent;
        if (!moved && from.own == to.own)
            continue;
        BlockChange& entry = change.m_blocks[id];
        entry.from = from;
        entry.to = to;
        entry.moves = moved;
        if (from.own != to.own)
            entry.fields = fieldChanges(from.own, to.own);
    }
    for (const auto& [id, to] : after.blocks) {
        if (before.blocks.contains(id))
            continue;
        BlockChange& entry = change.m_blocks[id];
        entry.to = to;
        entry.moves = true;
    }

    // Blocks that stay in a list but not in their order there.
    std::set<PLRBlockParent> parents;
    for (const auto& entry : before.lists)
        parents.insert(entry.first);
    for (const auto& entry : after.lists)
        parents.insert(entry.first);
    const IdList none;
    for (const PLRBlockParent& parent : parents) {
        const auto x = before.lists.find(parent);
        const auto y = after.lists.find(parent);
        const IdList& a = x == before.lists.end() ? none : x->second;
        const IdList& b = y == after.lists.end() ? none : y->second;
        if (a == b)
            continue;
        IdList keptA;
        for (const std::string& id : a) {
            const auto there = after.blocks.find(id);
            if (there != after.blocks.end() && there->second.parent == parent)
                keptA.push_back(id);
        }
        IdList keptB;
        for (const std::string& id : b) {
            const auto there = before.blocks.find(id);
            if (there != before.blocks.end() && there->second.parent == parent)
                keptB.push_back(id);
        }
        if (keptA == keptB)
            continue;
        for (const std::string& id : reordered(keptA, keptB)) {
            BlockChange& entry = change.m_blocks[id];
            entry.from = before.blocks.at(id);
            entry.to = after.blocks.at(id);
            entry.moves = true;
        }
    }

    // The lists the moving blocks leave and join, on both sides.
    for (const auto& [id, entry] : change.m_blocks) {
        if (!entry.moves)
            continue;
        for (const auto& side : {entry.from, entry.to}) {
            if (!side)
                continue;
            Lists& lists = change.m_lists[side->parent];
            if (const auto x = before.lists.find(side->parent); x != before.lists.end())
                lists.from = x->second;
            if (const auto y = after.lists.find(side->parent); y != after.lists.end())
                lists.to = y->second;
        }
    }
    return change;
}

bool PLRLayoutChange::isEmpty() const
{
    return m_blocks.empty() && m_sectionsFrom.size() == m_sectionsTo.size();
}

PLRLayoutChange PLRLayoutChange::reversed() const
{
    PLRLayoutChange reverse;
    reverse.m_sectionsFrom = m_sectionsTo;
    reverse.m_sectionsTo = m_sectionsFrom;
    for (const auto& [id, entry] : m_blocks) {
        BlockChange& back = reverse.m_blocks[id];
        back.from = entry.to;
        back.to = entry.from;
        back.moves = entry.moves;
        for (const Field& field : entry.fields)
            back.fields.push_back({field.path, field.to, field.from});
    }
    for (const auto& [parent, lists] : m_lists)
        reverse.m_lists[parent] = Lists{lists.to, lists.from};
    return reverse;
}

PLRLayoutChange PLRLayoutChange::restrictedTo(const std::string& blockId, const std::vector<std::string>& fieldPaths) const
{
    PLRLayoutChange restricted;
    restricted.m_sectionsFrom = m_sectionsFrom;
    restricted.m_sectionsTo = m_sectionsFrom;   // no section comes or goes
    const auto it = m_blocks.find(blockId);
    if (it == m_blocks.end() || !it->second.from || !it->second.to)
        return restricted;
    BlockChange entry;
    entry.from = it->second.from;
    entry.to = it->second.to;
    entry.to->parent = entry.from->parent;   // nor does the block move
    for (const Field& field : it->second.fields) {
        if (fieldPaths.empty()
            || std::any_of(fieldPaths.begin(), fieldPaths.end(), [&](const std::string& scope) { return pathWithin(field.path, scope); }))
            entry.fields.push_back(field);
    }
    if (!entry.fields.empty())
        restricted.m_blocks.emplace(blockId, std::move(entry));
    return restricted;
}

PLRLayoutChange PLRLayoutChange::applyTo(PLRLayoutManager* manager) const
{
    if (!manager)
        return {};
    PLRLayout* layout = manager->representedLayout();
    if (PLRLayoutState::giveBlocksUniqueIdentifiers(layout) > 0)
        manager->announceChange();
    const PLRLayoutState now = PLRLayoutState::capture(*layout);
    Working work(now);
    std::set<std::string> lost;   // containers that lost a block here
    int gone = 0;

    // Sections the change adds.
    if (m_sectionsTo.size() > m_sectionsFrom.size()) {
        while (work.sections.size() < m_sectionsTo.size())
            work.sections.push_back(parsed<PLRSection>(m_sectionsTo[work.sections.size()]));
    }

    // Blocks that go.
    for (const auto& [id, entry] : m_blocks) {
        if (entry.from && !entry.to && work.has(id))
            work.remove(id, lost);
    }

    // Blocks that come, and blocks that move.
    std::set<std::string> pending;
    for (const auto& [id, entry] : m_blocks) {
        if (!entry.to)
            continue;
        if (!work.has(id)) {
            if (entry.from) {
                ++gone;   // removed since: it stays removed
                continue;
            }
            work.content.emplace(id, parsed<PLRBlock>(entry.to->own));
            if (work.isContainer(id))
                lost.insert(id);   // checked with the others below
            pending.insert(id);
        } else if (entry.moves) {
            pending.insert(id);
        }
    }
    std::map<std::string, Working::Place> origin;
    for (const std::string& id : pending) {
        if (const std::optional<Working::Place> place = work.detach(id, lost))
            origin[id] = *place;
    }
    while (!pending.empty()) {
        for (bool progress = true; progress;) {
            progress = false;
            for (const auto& [parent, lists] : m_lists) {
                if (!lists.to || !work.available(parent))
                    continue;
                for (const std::string& id : *lists.to) {
                    if (!pending.contains(id) || m_blocks.at(id).to->parent != parent || work.wouldCycle(id, parent))
                        continue;
                    work.insertGuided(id, parent, *lists.to);
                    pending.erase(id);
                    progress = true;
                }
            }
        }
        if (pending.empty())
            break;
        // Its place is gone (a container removed since): back where it stood, else at the end.
        const std::string id = *pending.begin();
        pending.erase(pending.begin());
        const auto at = origin.find(id);
        if (at != origin.end() && work.available(at->second.parent) && !work.wouldCycle(id, at->second.parent)) {
            work.insert(id, at->second.parent, at->second.index);
        } else {
            const PLRBlockParent last = work.lastSection();
            work.insert(id, last, int(work.lists[last].size()));
        }
        PLR_LOG_INFO(QStringLiteral("A block's place in an undone or redone change is gone; it is put where it can go"));
    }

    // Fields.
    int kept = 0;
    for (const auto& [id, entry] : m_blocks) {
        if (entry.fields.empty() || !entry.from || !entry.to)
            continue;
        const auto it = work.content.find(id);
        if (it == work.content.end())
            continue;   // counted above
        kept += mergeFields(&it->second, entry.fields);
    }

    // Containers left with one block are dissolved, empty ones removed, as removing a block does
    // (unless the change's own end state has them so).
    std::vector<std::string> check(lost.begin(), lost.end());
    while (!check.empty()) {
        const std::string id = check.back();
        check.pop_back();
        if (!work.isContainer(id) || !work.isPlaced(id))
            continue;
        const PLRBlockParent self = PLRBlockParent::ofContainer(id);
        const IdList inside = work.lists[self];
        if (inside.size() >= 2)
            continue;
        if (const auto target = m_lists.find(self); target != m_lists.end() && target->second.to && *target->second.to == inside)
            continue;
        const PLRBlockParent parent = work.parentOf.at(id);
        work.remove(id, lost);   // its one block, if any, takes its place
        if (!parent.isSection())
            check.push_back(parent.container);
    }

    // Sections the change takes away, when nothing was put in them since.
    if (m_sectionsTo.size() < m_sectionsFrom.size()) {
        while (work.sections.size() > m_sectionsTo.size()) {
            const PLRBlockParent last = PLRBlockParent::ofSection(int(work.sections.size()) - 1);
            if (!work.lists[last].empty()) {
                PLR_LOG_INFO(QStringLiteral("A section holds blocks put there since; it stays"));
                break;
            }
            work.lists.erase(last);
            work.sections.pop_back();
        }
    }
    if (gone > 0)
        PLR_LOG_INFO(QStringLiteral("%1 block(s) of the change were removed since; they stay removed").arg(gone));
    if (kept > 0)
        PLR_LOG_INFO(QStringLiteral("%1 field(s) of the change were changed since; the later values stay").arg(kept));

    // Into the layout, section by section, through the manager.
    const std::vector<PLRSection> built = work.build();
    const int wanted = int(built.size());
    for (int s = 0; s < std::min(wanted, layout->sections_size()); ++s) {
        if (built[size_t(s)].SerializeAsString() != layout->sections(s).SerializeAsString())
            manager->restoreSection(layout->mutable_sections(s), built[size_t(s)]);
    }
    while (layout->sections_size() < wanted) {
        const int index = layout->sections_size();
        manager->restoreSection(manager->addNewSection(), built[size_t(index)]);
    }
    while (layout->sections_size() > wanted)
        manager->removeSection(layout->mutable_sections(layout->sections_size() - 1));
    return between(now, PLRLayoutState::capture(*layout));
}

// --- Recorder ------------------------------------------------------------------------------------

PLRLayoutChangeRecorder::PLRLayoutChangeRecorder(PLRLayoutManager* manager, platform::UndoManager* undoManager,
                                                 const QString& actionName)
    : m_manager(manager), m_undoManager(undoManager), m_actionName(actionName)
{
    if (!manager)
        return;
    if (PLRLayoutState::giveBlocksUniqueIdentifiers(manager->representedLayout()) > 0)
        manager->announceChange();
    m_before = PLRLayoutState::capture(*manager->representedLayout());
    m_active = true;
}

void PLRLayoutChangeRecorder::restrictTo(const PLRBlock* block, std::vector<std::string> fieldPaths)
{
    if (!block)
        return;
    m_scopeBlock = block->id();
    m_scopeFields = std::move(fieldPaths);
}

PLRLayoutChange PLRLayoutChangeRecorder::change() const
{
    if (!m_manager)
        return {};
    PLRLayoutChange made = PLRLayoutChange::between(m_before, PLRLayoutState::capture(*m_manager->representedLayout()));
    return m_scopeBlock ? made.restrictedTo(*m_scopeBlock, m_scopeFields) : made;
}

bool PLRLayoutChangeRecorder::commit(bool evenIfUnchanged)
{
    if (!m_active || !m_manager)
        return false;
    m_active = false;
    if (!m_undoManager)
        return false;
    const PLRLayoutChange made = change();
    if (made.isEmpty() && !evenIfUnchanged)
        return false;
    if (m_undoManager->isUndoing() || m_undoManager->isRedoing()) {
        // An undo or redo is under way: this change is part of it and is not recorded again.
        PLR_LOG_DEBUG(QStringLiteral("A layout change during undo or redo was not recorded"));
        return false;
    }
    m_undoManager->beginUndoGrouping();
    registerApply(m_undoManager, m_manager, made.reversed(), m_actionName);
    m_undoManager->setActionName(m_actionName);
    m_undoManager->endUndoGrouping();
    return true;
}

void PLRLayoutChangeRecorder::rollBack()
{
    if (!m_active || !m_manager)
        return;
    m_active = false;
    change().reversed().applyTo(m_manager);
}

void PLRLayoutChangeRecorder::registerApply(platform::UndoManager* undoManager, PLRLayoutManager* manager,
                                            const PLRLayoutChange& change, const QString& actionName)
{
    if (!undoManager || !manager)
        return;
    QPointer<platform::UndoManager> undo(undoManager);
    QPointer<PLRLayoutManager> layoutManager(manager);
    undoManager->registerUndo(manager, [undo, layoutManager, change, actionName] {
        if (!layoutManager)
            return;
        const PLRLayoutChange done = change.applyTo(layoutManager);
        if (undo) {
            registerApply(undo, layoutManager, done.reversed(), actionName);
            undo->setActionName(actionName);
        }
    });
}
