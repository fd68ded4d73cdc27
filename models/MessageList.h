// What the header list shows of one message directory: its cache records read into header
// nodes, read or killfiled messages filtered out on request, thread trees built from the
// References chains (the parts of a multi-part binary hang under part 1), and a flat or
// threaded sort by any column. Single additions and deletions are followed without reading
// the directory again.
//
// The caller owns three lists: the message-id list (every node shown, sorted by message-id),
// the attachment list (every node read with a part total above 1, sorted by compareAttach)
// and the display list (the shown nodes when flat, the thread roots when threaded).
#pragma once

#include <functional>
#include <vector>

#include "Error.h"
#include "HeadersNode.h"
#include "TString.h"

using NodeList = std::vector<HeadersNodePtr>;

class MessageList {
public:
	// Asked now and then during a read; false stops it with ErrGmCancelled.
	using Proceed = std::function<bool()>;

	// Registers the status texts.
	static bool Start();
	static void Stop();

	// Reads the cache of mdir. A locked cache is tried again every half second while proceed
	// allows; a missing or damaged one asks the message store for a reindex.
	static Error ReadMdir(const TString& mdir, NodeList& msgIdList, NodeList& attachList, bool includeRead,
		bool skipPlonked, long& unread, const Proceed& proceed = Proceed());
	// Reads the records of an open cache database (the loop of ReadMdir, without the opening).
	static Error ReadRecords(const TString& mdir, class Database& db, NodeList& msgIdList,
		NodeList& attachList, bool includeRead, bool skipPlonked, long& unread,
		const Proceed& proceed = Proceed());

	// The display list of freshly read nodes (which must not be threaded yet).
	static NodeList ThreadAndSort(
		const NodeList& nodes, const NodeList& attachList, const EFSortInfo& sortInfo, bool threaded);
	static void SortDisplayList(
		NodeList& displayList, const NodeList& attachList, const EFSortInfo& sortInfo, bool threaded);

	// Follow single changes; each returns the parents that gained children.
	static std::vector<HeadersNode*> NodeAdd(NodeList& msgIdList, NodeList& displayList, NodeList& attachList,
		const NodeList& newNodes, const EFSortInfo& sortInfo, bool threaded);
	static std::vector<HeadersNode*> NodeDel(NodeList& msgIdList, NodeList& displayList, NodeList& attachList,
		const NodeList& deletedNodes, const EFSortInfo& sortInfo, bool threaded);

	// Lookups in the sorted lists.
	static HeadersNodePtr MsgIdFind(const NodeList& list, const TString& msgid);
	static bool MsgIdDelete(NodeList& list, const TString& msgid);
	static HeadersNodePtr AttachFind(
		const NodeList& attachList, const TString& attachID, long partNumber, long partTotal);
	static void AttachDel(NodeList& attachList, const NodeList& nodes);
	// True when every part of the posting whose part 1 is firstPart is present with its body;
	// paths then holds their message files in part order (else it is left empty).
	static bool AttachParts(const TString& mdir, const NodeList& attachList, const HeadersNode& firstPart,
		std::vector<TString>& paths);

	// The parent a node hangs under, or none for a root.
	static HeadersNode* PickParent(
		const HeadersNode& node, const NodeList& msgIdList, const NodeList& attachList);
};
