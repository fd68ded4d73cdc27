#include "MessageList.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "Cache.h"
#include "Database.h"
#include "Err.h"
#include "Language.h"
#include "MessageStore.h"
#include "Notify.h"
#include "NotifyList.h"
#include "PathMngr.h"
#include "TimeCore.h"

namespace {

const LangData kRows[] = {
	{"BulkRead", "%ld", "Reading %1 %1p?message:messages ..."},
	{"DatabaseOpenError", "%s", "Can’t open cache database: %1"},
	{"DatabaseReindex", "", "Can’t open cache database, reindexing"},
	{"ThreadAndSort", "", "Threading and sorting ..."},
	{nullptr, nullptr, nullptr},
};
const LangSection kSection = {"MessageList", LangSectionHeadersView, kRows};
bool sStarted = false;

constexpr long long kLockRetry = 500000;
constexpr long long kProgressEvery = 500000;

std::string_view view(const TString& s)
{
	return std::string_view(s.String(), static_cast<size_t>(s.ByteLength()));
}

const TString& attachOf(const HeadersNode& n)
{
	static const TString empty;
	return n.fAttachID ? *n.fAttachID : empty;
}

// The status line of the directory's display: path, line feed, text.
void post(const TString& mdir, const TString& text)
{
	TString payload(mdir);
	payload += '\n';
	payload += text;
	Notify::Send(NotifyList::MdirUpdate(), payload);
}

template <typename... A> void postKey(const TString& mdir, const char* key, const A&... args)
{
	TString text;
	Language::String(key, text, false, args...);
	post(mdir, text);
}

bool msgIdLess(const HeadersNodePtr& a, const HeadersNodePtr& b)
{
	return a->fMsgID.Compare(b->fMsgID) < 0;
}

// The attachment list's order: identifier and part number, then (for postings that share
// both) part total and message-id, so that a lookup finds the same node however the list grew.
bool attachLess(const HeadersNodePtr& a, const HeadersNodePtr& b)
{
	int c = HeadersNode::compareAttach(*a, *b);
	if (c != 0)
		return c < 0;
	if (a->fPartTotal != b->fPartTotal)
		return a->fPartTotal < b->fPartTotal;
	return a->fMsgID.Compare(b->fMsgID) < 0;
}

// Leftmost element whose message-id is not below msgid.
NodeList::const_iterator msgIdLower(const NodeList& list, const TString& msgid)
{
	return std::lower_bound(list.begin(), list.end(), msgid,
		[](const HeadersNodePtr& n, const TString& id) { return n->fMsgID.Compare(id) < 0; });
}

void sortedInsert(
	NodeList& list, const HeadersNodePtr& node, bool (*less)(const HeadersNodePtr&, const HeadersNodePtr&))
{
	list.insert(std::upper_bound(list.begin(), list.end(), node, less), node);
}

bool removeFrom(NodeList& list, const HeadersNode* node)
{
	auto it =
		std::find_if(list.begin(), list.end(), [node](const HeadersNodePtr& n) { return n.get() == node; });
	if (it == list.end())
		return false;
	list.erase(it);
	return true;
}

// The owning pointer of a node, found through its parent or the display list.
HeadersNodePtr ownerOf(HeadersNode* node, const NodeList& displayList)
{
	const NodeList& siblings = node->fParent ? node->fParent->fChildList : displayList;
	for (const HeadersNodePtr& n : siblings)
		if (n.get() == node)
			return n;
	return nullptr;
}

void noteParent(std::vector<HeadersNode*>& parents, HeadersNode* p)
{
	if (std::find(parents.begin(), parents.end(), p) == parents.end())
		parents.push_back(p);
}

// A References chain can loop (a message naming its own reply). Before hanging node under
// parent, this finds whether that closes a circle; if it does, the member of the circle with
// the lowest message-id stays a root, so that the outcome does not depend on the order in
// which the nodes are met. Returns the node to leave without a parent, or none.
HeadersNode* circleBreak(HeadersNode* node, HeadersNode* parent)
{
	HeadersNode* lowest = node;
	for (HeadersNode* p = parent; p; p = p->fParent) {
		if (p == node)
			return lowest;
		if (p->fMsgID.Compare(lowest->fMsgID) < 0)
			lowest = p;
	}
	return nullptr;
}

// Hangs node (owned by ptr) under parent, or leaves it a root when that would close a circle
// of which it is the lowest member. Returns the member that became a root instead of node, or
// none when node itself was hung or stays a root.
HeadersNode* hang(const HeadersNodePtr& ptr, HeadersNode* parent, NodeList* displayList, bool& hung)
{
	hung = false;
	HeadersNode* breakAt = circleBreak(ptr.get(), parent);
	if (breakAt == ptr.get())
		return nullptr;
	parent->childAdd(ptr);
	hung = true;
	if (!breakAt)
		return nullptr;
	HeadersNodePtr owned = breakAt->fParent ? ownerOf(breakAt, NodeList()) : nullptr;
	breakAt->fParent->childDel(breakAt);
	if (displayList && owned)
		displayList->push_back(owned);
	return breakAt;
}

// Recomputes the parent of every candidate; detached nodes become roots of the display list.
// moved tells whether any node moved.
void reparentPass(const NodeList& candidates, const NodeList& msgIdList, const NodeList& attachList,
	NodeList& displayList, std::vector<HeadersNode*>& changedParents, bool& moved)
{
	moved = false;
	for (const HeadersNodePtr& node : candidates) {
		HeadersNode* want = MessageList::PickParent(*node, msgIdList, attachList);
		if (want == node->fParent)
			continue;
		HeadersNode* was = node->fParent;
		if (!was && want && circleBreak(node.get(), want) == node.get())
			continue;  // stays the root that breaks a circle
		if (was)
			was->childDel(node.get());
		else
			removeFrom(displayList, node.get());
		moved = true;
		bool hung = false;
		if (want)
			hang(node, want, &displayList, hung);
		if (hung)
			noteParent(changedParents, want);
		else
			displayList.push_back(node);
	}
}

// A node kept a root to break a circle can find its parent again once another member of the
// circle has moved: passes repeat until nothing moves. Returns whether anything moved.
bool reparent(const NodeList& candidates, const NodeList& msgIdList, const NodeList& attachList,
	NodeList& displayList, std::vector<HeadersNode*>& changedParents)
{
	bool any = false;
	bool moved = true;
	for (int pass = 0; moved && pass < 16; pass++) {
		reparentPass(candidates, msgIdList, attachList, displayList, changedParents, moved);
		any = any || moved;
	}
	return any;
}

// Nodes whose parent can change when the given message-ids and attachment identifiers arrive or
// leave: those that reference one of them, the later parts of one of the postings, and every
// root (a root may be one left by a broken circle, or by a parent that was missing).
NodeList candidatesFor(const NodeList& msgIdList, const NodeList& changed)
{
	std::unordered_set<std::string_view> ids, attach;
	for (const HeadersNodePtr& n : changed) {
		ids.insert(view(n->fMsgID));
		if (n->fPartTotal > 1 && n->fPartNumber == 1)
			attach.insert(view(attachOf(*n)));
	}
	NodeList out;
	for (const HeadersNodePtr& n : msgIdList) {
		bool hit = !n->fParent;
		if (!hit && n->fPartNumber > 1 && !attach.empty())
			hit = attach.count(view(attachOf(*n))) != 0;
		for (long i = 0; !hit && i < n->refCount(); i++)
			hit = ids.count(view(*n->refAt(i))) != 0;
		if (hit)
			out.push_back(n);
	}
	return out;
}

// An open-addressing table from texts to positions in a list, for lookups over a whole list at
// once: the texts stay where they are (keyAt gives the text of a position), the table holds
// only each text's hash and position.
class KeyTable {
public:
	static constexpr uint32_t kNone = UINT32_MAX;

	explicit KeyTable(size_t count)
	{
		size_t cap = 16;
		while (cap < count * 2)
			cap <<= 1;
		mSlots.assign(cap, Slot());
		mMask = cap - 1;
	}

	// The position stored under key; when there is none, stores at and returns it.
	template <typename KeyAt> uint32_t findOrAdd(std::string_view key, uint32_t at, const KeyAt& keyAt)
	{
		size_t h = hashOf(key);
		size_t i = h & mMask;
		for (; mSlots[i].at != kNone; i = (i + 1) & mMask)
			if (mSlots[i].hash == h && keyAt(mSlots[i].at) == key)
				return mSlots[i].at;
		mSlots[i] = Slot{h, at};
		return at;
	}

	template <typename KeyAt> uint32_t find(std::string_view key, const KeyAt& keyAt) const
	{
		size_t h = hashOf(key);
		for (size_t i = h & mMask; mSlots[i].at != kNone; i = (i + 1) & mMask)
			if (mSlots[i].hash == h && keyAt(mSlots[i].at) == key)
				return mSlots[i].at;
		return kNone;
	}

private:
	struct Slot {
		size_t hash = 0;
		uint32_t at = kNone;
	};
	static size_t hashOf(std::string_view key) { return std::hash<std::string_view>()(key); }
	std::vector<Slot> mSlots;
	size_t mMask = 0;
};

// pickParent over any message-id lookup.
template <typename Find>
HeadersNode* parentOf(const HeadersNode& node, const NodeList& attachList, const Find& find)
{
	if (node.fPartNumber > 1) {
		HeadersNodePtr first = MessageList::AttachFind(attachList, attachOf(node), 1, node.fPartTotal);
		if (first) {
			HeadersNode* p = find(view(first->fMsgID));
			if (p && p != &node)
				return p;
		}
	}
	for (long i = node.refCount() - 1; i >= 0; i--) {
		HeadersNode* p = find(view(*node.refAt(i)));
		if (p && p != &node)
			return p;
	}
	return nullptr;
}

// The first eight bytes of a text as a number that orders as the bytes do (strcmp's order).
uint64_t prefixOf(const TString& t)
{
	unsigned char b[8] = {};
	std::memcpy(b, t.String(), std::min<size_t>(8, static_cast<size_t>(t.ByteLength())));
	uint64_t v = 0;
	for (unsigned char c : b)
		v = (v << 8) | c;
	return v;
}

// Sorts a list of nodes by keys computed once per node instead of once per comparison.
// Keys are the primary value (a number, or 0 when the comparison has none), then the
// message-id through its prefix; ties of both go to the comparison itself.
struct SortKey {
	int64_t value;
	uint64_t id;
	HeadersNode* node;
	size_t at;
};

// The comparisons of one number, whose order the number alone gives.
bool numeric(EFSortInfo::Compare c)
{
	return c == HeadersNode::compareDate || c == HeadersNode::compareLines ||
		c == HeadersNode::compareCharset;
}

int64_t numberOf(EFSortInfo::Compare c, const HeadersNode& n)
{
	if (c == HeadersNode::compareDate)
		return n.fDateTime;
	return c == HeadersNode::compareLines ? n.fLines : n.fCharset;
}

// The message-id list's order, by precomputed prefixes.
void sortByMsgId(NodeList& list)
{
	std::vector<SortKey> keys;
	keys.reserve(list.size());
	for (size_t i = 0; i < list.size(); i++)
		keys.push_back(SortKey{0, prefixOf(list[i]->fMsgID), list[i].get(), i});
	std::sort(keys.begin(), keys.end(), [](const SortKey& a, const SortKey& b) {
		if (a.id != b.id)
			return a.id < b.id;
		return a.node->fMsgID.Compare(b.node->fMsgID) < 0;
	});
	NodeList out;
	out.reserve(list.size());
	for (const SortKey& k : keys)
		out.push_back(std::move(list[k.at]));
	list.swap(out);
}

int applied(const EFSortInfo& s, const HeadersNode& a, const HeadersNode& b)
{
	int c = s.selector(a, b);
	return s.ascending ? c : -c;
}

// A total order for a flat sort: the column, then the message-id, so that equal entries come
// out the same however the list was reached.
bool flatLess(const EFSortInfo& s, const HeadersNode& a, const HeadersNode& b)
{
	int c = applied(s, a, b);
	return c != 0 ? c < 0 : a.fMsgID.Compare(b.fMsgID) < 0;
}

// The same by keys computed once: the column's number when it has one, then the comparison
// itself, then the message-id.
bool keyLess(const EFSortInfo& s, bool byNumber, const SortKey& a, const SortKey& b)
{
	if (byNumber) {
		if (a.value != b.value)
			return s.ascending ? a.value < b.value : a.value > b.value;
	} else {
		int c = applied(s, *a.node, *b.node);
		if (c != 0)
			return c < 0;
	}
	if (a.id != b.id)
		return a.id < b.id;
	return a.node->fMsgID.Compare(b.node->fMsgID) < 0;
}

SortKey keyOf(const EFSortInfo& s, bool byNumber, const HeadersNodePtr& n, size_t at)
{
	return SortKey{byNumber ? numberOf(s.selector, *n) : 0, prefixOf(n->fMsgID), n.get(), at};
}

void flatSort(NodeList& list, const EFSortInfo& s)
{
	bool byNumber = numeric(s.selector);
	std::vector<SortKey> keys;
	keys.reserve(list.size());
	for (size_t i = 0; i < list.size(); i++)
		keys.push_back(keyOf(s, byNumber, list[i], i));
	std::sort(keys.begin(), keys.end(),
		[&s, byNumber](const SortKey& a, const SortKey& b) { return keyLess(s, byNumber, a, b); });
	NodeList out;
	out.reserve(list.size());
	for (const SortKey& k : keys)
		out.push_back(std::move(list[k.at]));
	list.swap(out);
}

// Threaded order: threads by the member that sorts first (the representative), the members
// of one broken thread (roots sharing a thread ID) next to each other.
void threadedSort(NodeList& list, const EFSortInfo& s)
{
	bool byNumber = numeric(s.selector);
	std::vector<SortKey> keys;
	keys.reserve(list.size());
	for (size_t i = 0; i < list.size(); i++)
		keys.push_back(keyOf(s, byNumber, list[i], i));
	// The representative of each thread: the thread's first member in the list points to it.
	std::vector<std::string_view> threads(list.size());
	for (size_t i = 0; i < list.size(); i++)
		threads[i] = view(list[i]->threadID());
	KeyTable table(list.size());
	auto threadAt = [&threads](uint32_t at) { return threads[at]; };
	std::vector<size_t> first(list.size()), rep(list.size());
	for (size_t i = 0; i < list.size(); i++) {
		first[i] = table.findOrAdd(threads[i], static_cast<uint32_t>(i), threadAt);
		if (first[i] == i)
			rep[i] = i;
		else if (keyLess(s, byNumber, keys[i], keys[rep[first[i]]]))
			rep[first[i]] = i;
	}
	for (size_t i = 0; i < list.size(); i++)
		rep[i] = rep[first[i]];
	std::vector<size_t> order(list.size());
	for (size_t i = 0; i < order.size(); i++)
		order[i] = i;
	std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
		size_t ra = rep[a], rb = rep[b];
		return ra != rb ? keyLess(s, byNumber, keys[ra], keys[rb]) : keyLess(s, byNumber, keys[a], keys[b]);
	});
	NodeList out;
	out.reserve(list.size());
	for (size_t i : order)
		out.push_back(std::move(list[i]));
	list.swap(out);
}

// Threads freshly read nodes and returns the roots. Every node's parent is found first (by
// position); then each circle that the References close is broken at its member with the
// lowest message-id, as hang does one node at a time, so that no ancestor chain is walked.
NodeList threadAll(const NodeList& nodes, const NodeList& attachList)
{
	size_t n = nodes.size();
	// The message-id order, in which lookups give the leftmost of equal message-ids.
	std::vector<uint32_t> order(n);
	for (size_t i = 0; i < n; i++)
		order[i] = static_cast<uint32_t>(i);
	if (!std::is_sorted(nodes.begin(), nodes.end(), msgIdLess))
		std::stable_sort(order.begin(), order.end(),
			[&nodes](uint32_t a, uint32_t b) { return msgIdLess(nodes[a], nodes[b]); });
	std::vector<uint32_t> rank(n);
	for (size_t r = 0; r < n; r++)
		rank[order[r]] = static_cast<uint32_t>(r);
	// The message-ids side by side, so that a lookup reaches no node but the one it finds.
	std::vector<std::string_view> idViews(n);
	for (size_t i = 0; i < n; i++)
		idViews[i] = view(nodes[i]->fMsgID);
	KeyTable ids(n);
	auto idAt = [&idViews](uint32_t at) { return idViews[at]; };
	for (uint32_t at : order)
		ids.findOrAdd(idAt(at), at, idAt);

	constexpr uint32_t kNone = KeyTable::kNone;
	std::vector<uint32_t> want(n, kNone);
	std::vector<uint32_t> children(n, 0);
	for (size_t i = 0; i < n; i++) {
		const HeadersNode& node = *nodes[i];
		uint32_t p = kNone;
		if (node.fPartNumber > 1) {
			HeadersNodePtr first = MessageList::AttachFind(attachList, attachOf(node), 1, node.fPartTotal);
			if (first)
				p = ids.find(view(first->fMsgID), idAt);
			if (p == i)
				p = kNone;
		}
		for (long r = node.refCount() - 1; p == kNone && r >= 0; r--) {
			p = ids.find(view(*node.refAt(r)), idAt);
			if (p == i)
				p = kNone;
		}
		want[i] = p;
	}

	// Circles: each node is walked once; a walk that meets its own path has found one.
	std::vector<uint8_t> state(n, 0);  // 0 not seen, 1 on the current path, 2 done
	std::vector<uint32_t> path;
	for (size_t start = 0; start < n; start++) {
		path.clear();
		uint32_t v = static_cast<uint32_t>(start);
		while (v != kNone && state[v] == 0) {
			state[v] = 1;
			path.push_back(v);
			v = want[v];
		}
		if (v != kNone && state[v] == 1) {
			uint32_t lowest = v;
			for (size_t k = path.size(); k-- > 0 && path[k] != v;)
				if (rank[path[k]] < rank[lowest])
					lowest = path[k];
			want[lowest] = kNone;
		}
		for (uint32_t x : path)
			state[x] = 2;
	}

	for (size_t i = 0; i < n; i++)
		if (want[i] != kNone)
			children[want[i]]++;
	NodeList roots;
	for (size_t i = 0; i < n; i++) {
		if (want[i] == kNone) {
			roots.push_back(nodes[i]);
			continue;
		}
		HeadersNode& parent = *nodes[want[i]];
		if (parent.fChildList.empty())
			parent.fChildList.reserve(children[want[i]]);
		parent.childAdd(nodes[i]);
	}
	return roots;
}

}  // namespace

bool MessageList::Start()
{
	if (!sStarted)
		sStarted = Language::SectionAdd(&kSection);
	return sStarted;
}

void MessageList::Stop()
{
	if (sStarted)
		Language::SectionRemove(&kSection);
	sStarted = false;
}

Error MessageList::ReadMdir(const TString& mdir, NodeList& msgIdList, NodeList& attachList, bool includeRead,
	bool skipPlonked, long& unread, const Proceed& proceed)
{
	msgIdList.clear();
	attachList.clear();
	unread = 0;
	Database db;
	Error e;
	for (;;) {
		e = Cache::DataOpen(db, mdir);
		if (e != ErrFileLocked)
			break;
		if (proceed && !proceed())
			return ErrGmCancelled;
		TimeCore::Sleep(kLockRetry);
	}
	if (e == ErrFileNotFound || e == ErrFileInvalidData) {
		// The store has been asked to rebuild it (Cache::DataOpen queues the reindex).
		postKey(mdir, "DatabaseReindex");
		return e;
	}
	if (e != ErrOkay) {
		TString text;
		Err::Str(text, e);
		postKey(mdir, "DatabaseOpenError", text);
		return e;
	}
	e = ReadRecords(mdir, db, msgIdList, attachList, includeRead, skipPlonked, unread, proceed);
	Error c = Cache::DataClose(db);
	if (e == ErrOkay)
		e = c;
	if (e == ErrFileInvalidData) {
		postKey(mdir, "DatabaseReindex");
		MessageStore::MdirReindex(mdir);
	}
	if (e != ErrOkay) {
		msgIdList.clear();
		attachList.clear();
		unread = 0;
		return e;
	}
	TString payload(mdir);
	payload += '\n';
	payload += TString(std::to_string(unread));
	Notify::Send(NotifyList::MdirUnread(), payload);
	return ErrOkay;
}

Error MessageList::ReadRecords(const TString& mdir, Database& db, NodeList& msgIdList, NodeList& attachList,
	bool includeRead, bool skipPlonked, long& unread, const Proceed& proceed)
{
	msgIdList.clear();
	attachList.clear();
	unread = 0;
	Error e = db.Rewind();
	long processed = 0;
	long long lastPost = 0;
	msgIdList.reserve(static_cast<size_t>(db.RecordCount()));
	std::string_view key, data;
	while (e == ErrOkay) {
		e = db.RecordNextView(key, data);
		if (e != ErrOkay)
			break;
		HeadersNodePtr node = HeadersNode::initWithMsgID(key, data);
		if (node) {
			if (node->fPartTotal > 1)
				attachList.push_back(node);
			if (skipPlonked && Cache::Plonked(*node)) {
				// killfiled: not shown
			} else if (node->unreadGet()) {
				unread++;
				msgIdList.push_back(std::move(node));
			} else if (includeRead) {
				msgIdList.push_back(std::move(node));
			}
		}
		processed++;
		long long now = TimeCore::TickCount();
		if (processed < 2 || now - lastPost >= kProgressEvery) {
			lastPost = now;
			postKey(mdir, "BulkRead", processed);
			if (proceed && !proceed())
				e = ErrGmCancelled;
		}
	}
	if (e == ErrFileEnd)
		e = ErrOkay;
	if (e == ErrOkay) {
		sortByMsgId(msgIdList);
		std::sort(attachList.begin(), attachList.end(), attachLess);
	}
	return e;
}

HeadersNode* MessageList::PickParent(
	const HeadersNode& node, const NodeList& msgIdList, const NodeList& attachList)
{
	return parentOf(node, attachList, [&msgIdList](std::string_view id) -> HeadersNode* {
		auto it = std::lower_bound(msgIdList.begin(), msgIdList.end(), id,
			[](const HeadersNodePtr& n, std::string_view key) { return view(n->fMsgID) < key; });
		return it != msgIdList.end() && view((*it)->fMsgID) == id ? it->get() : nullptr;
	});
}

NodeList MessageList::ThreadAndSort(
	const NodeList& nodes, const NodeList& attachList, const EFSortInfo& sortInfo, bool threaded)
{
	NodeList display;
	if (!threaded) {
		display = nodes;
	} else {
		display = threadAll(nodes, attachList);
	}
	SortDisplayList(display, attachList, sortInfo, threaded);
	return display;
}

void MessageList::SortDisplayList(
	NodeList& displayList, const NodeList&, const EFSortInfo& sortInfo, bool threaded)
{
	if (!sortInfo.selector)
		return;
	if (threaded)
		threadedSort(displayList, sortInfo);
	else
		flatSort(displayList, sortInfo);
}

std::vector<HeadersNode*> MessageList::NodeAdd(NodeList& msgIdList, NodeList& displayList,
	NodeList& attachList, const NodeList& newNodes, const EFSortInfo& sortInfo, bool threaded)
{
	std::vector<HeadersNode*> parents;
	for (const HeadersNodePtr& n : newNodes) {
		sortedInsert(msgIdList, n, msgIdLess);
		if (n->fPartTotal > 1)
			sortedInsert(attachList, n, attachLess);
	}
	if (!threaded) {
		// A list in this order already takes the new nodes at their places.
		auto less = [&sortInfo](const HeadersNodePtr& a, const HeadersNodePtr& b) {
			return flatLess(sortInfo, *a, *b);
		};
		if (sortInfo.selector && std::is_sorted(displayList.begin(), displayList.end(), less)) {
			for (const HeadersNodePtr& n : newNodes)
				displayList.insert(std::upper_bound(displayList.begin(), displayList.end(), n, less), n);
			return parents;
		}
		displayList.insert(displayList.end(), newNodes.begin(), newNodes.end());
	} else {
		for (const HeadersNodePtr& n : newNodes) {
			HeadersNode* p = PickParent(*n, msgIdList, attachList);
			bool hung = false;
			if (p)
				hang(n, p, &displayList, hung);
			if (hung)
				noteParent(parents, p);
			else
				displayList.push_back(n);
		}
		// An arrival can be the missing parent of earlier roots.
		reparent(candidatesFor(msgIdList, newNodes), msgIdList, attachList, displayList, parents);
	}
	SortDisplayList(displayList, attachList, sortInfo, threaded);
	return parents;
}

std::vector<HeadersNode*> MessageList::NodeDel(NodeList& msgIdList, NodeList& displayList,
	NodeList& attachList, const NodeList& deletedNodes, const EFSortInfo& sortInfo, bool threaded)
{
	std::vector<HeadersNode*> parents;
	long moved = 0;
	for (const HeadersNodePtr& n : deletedNodes) {
		MsgIdDelete(msgIdList, n->fMsgID);
		for (const HeadersNodePtr& c : n->fChildList) {
			c->fParent = nullptr;
			displayList.push_back(c);
			moved++;
		}
		n->fChildList.clear();
		if (n->fParent) {
			n->fParent->childDel(n.get());
		} else if (removeFrom(displayList, n.get()) && threaded) {
			// The order of a thread's other roots can follow from the one that went.
			moved++;
		}
	}
	// A deleted node is gone from a fresh read of the directory, its parts included.
	AttachDel(attachList, deletedNodes);
	// Any node that moved may have been appended to the display list out of order.
	if (threaded &&
		reparent(candidatesFor(msgIdList, deletedNodes), msgIdList, attachList, displayList, parents))
		moved++;
	if (moved != 0)
		SortDisplayList(displayList, attachList, sortInfo, threaded);
	return parents;
}

HeadersNodePtr MessageList::MsgIdFind(const NodeList& list, const TString& msgid)
{
	auto it = msgIdLower(list, msgid);
	if (it != list.end() && (*it)->fMsgID == msgid)
		return *it;
	return nullptr;
}

bool MessageList::MsgIdDelete(NodeList& list, const TString& msgid)
{
	auto it = msgIdLower(list, msgid);
	if (it == list.end() || !((*it)->fMsgID == msgid))
		return false;
	list.erase(it);
	return true;
}

HeadersNodePtr MessageList::AttachFind(
	const NodeList& attachList, const TString& attachID, long partNumber, long partTotal)
{
	auto it = std::lower_bound(attachList.begin(), attachList.end(), 0, [&](const HeadersNodePtr& n, int) {
		int c = attachOf(*n).Compare(attachID);
		return c != 0 ? c < 0 : n->fPartNumber < partNumber;
	});
	// Several postings can share an identifier and part number with different totals.
	for (; it != attachList.end(); ++it) {
		const HeadersNode& n = **it;
		if (!(attachOf(n) == attachID) || n.fPartNumber != partNumber)
			break;
		if (n.fPartTotal == partTotal)
			return *it;
	}
	return nullptr;
}

void MessageList::AttachDel(NodeList& attachList, const NodeList& nodes)
{
	for (const HeadersNodePtr& n : nodes)
		if (n->fPartTotal > 1)
			removeFrom(attachList, n.get());
}

bool MessageList::AttachParts(const TString& mdir, const NodeList& attachList, const HeadersNode& firstPart,
	std::vector<TString>& paths)
{
	paths.clear();
	if (firstPart.fPartNumber != 1 || firstPart.fPartTotal < 2)
		return false;
	NodeList parts;
	for (long i = 1; i <= firstPart.fPartTotal; i++) {
		HeadersNodePtr p = AttachFind(attachList, attachOf(firstPart), i, firstPart.fPartTotal);
		if (!p)
			break;
		parts.push_back(p);
	}
	if (parts.size() < 2 || parts.front().get() != &firstPart ||
		static_cast<long>(parts.size()) != firstPart.fPartTotal)
		return false;
	std::vector<TString> out;
	for (const HeadersNodePtr& p : parts) {
		if (!p->hasBody() || !p->fFilename)
			return false;
		TString path(mdir);
		if (!PathMngr::Append(path, *p->fFilename))
			return false;
		out.push_back(path);
	}
	paths = std::move(out);
	return true;
}
