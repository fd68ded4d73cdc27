// Keeps the state of the storage view (the folder tree) between runs: per directory, the
// unread count last shown and whether the node is open. Used on the main thread only; the
// file is read at start and written at stop, best effort.
#pragma once

#include <map>

#include "TString.h"

class StorageState {
public:
	struct NodeData {
		long unread = 0;
		bool expanded = false;
	};

	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

	// An unknown path gives 0 and false.
	static void NodeGet(const TString& path, NodeData& data);
	static void NodeSet(const TString& path, const NodeData& data);
	static void NodeDel(const TString& path);

private:
	static bool lineParse(const TString& root, const TString& line, TString& path, NodeData& data);

	static std::map<TString, NodeData> sMap;
	static bool sStarted;
};
