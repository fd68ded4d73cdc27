#include "VolMngrImp.h"

#include <fstream>
#include <sstream>

// mountinfo writes space, tab, newline and backslash in names as \ooo.
static std::string unescape(const std::string& s)
{
	std::string out;
	for (size_t i = 0; i < s.size(); ++i) {
		if (s[i] == '\\' && i + 3 < s.size()) {
			int v = 0;
			bool ok = true;
			for (size_t k = 1; k <= 3; ++k) {
				if (i + k >= s.size() || s[i + k] < '0' || s[i + k] > '7') {
					ok = false;
					break;
				}
				v = v * 8 + (s[i + k] - '0');
			}
			if (ok) {
				out += static_cast<char>(v);
				i += 3;
				continue;
			}
		}
		out += s[i];
	}
	return out;
}

std::vector<VolMount> VolMngrImp::Mounts()
{
	std::vector<VolMount> mounts;
	std::ifstream in("/proc/self/mountinfo");
	std::string line;
	while (std::getline(in, line)) {
		// id parent major:minor root mountpoint options [optional fields] - fstype source superoptions
		std::istringstream fields(line);
		std::string id, parent, dev, root, point, options, word;
		if (!(fields >> id >> parent >> dev >> root >> point >> options))
			continue;
		while (fields >> word && word != "-") {
		}
		VolMount m;
		m.mountPoint = unescape(point);
		fields >> m.fsType >> m.source;
		m.source = unescape(m.source);
		m.readOnly = options == "ro" || options.rfind("ro,", 0) == 0;
		mounts.push_back(m);
	}
	if (mounts.empty()) {
		VolMount root;
		root.mountPoint = "/";
		mounts.push_back(root);
	}
	return mounts;
}

long VolMngrImp::MountOf(const std::vector<VolMount>& mounts, const std::string& path)
{
	long best = -1;
	size_t bestLen = 0;
	for (size_t i = 0; i < mounts.size(); ++i) {
		const std::string& mp = mounts[i].mountPoint;
		bool inside = mp == "/" || path == mp ||
			(path.size() > mp.size() && path.compare(0, mp.size(), mp) == 0 && path[mp.size()] == '/');
		// Later entries of the same point cover earlier ones (mounted on top).
		if (inside && (best < 0 || mp.size() >= bestLen)) {
			best = static_cast<long>(i);
			bestLen = mp.size();
		}
	}
	return best;
}

bool VolMngrImp::NetworkType(const std::string& t)
{
	static const char* const kTypes[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "9p",
		"fuse.sshfs", "davfs", "fuse.davfs2", "ceph", "glusterfs", "proc", "sysfs", "devtmpfs", "devpts",
		"cgroup", "cgroup2", "debugfs", "tracefs", "securityfs", "pstore", "bpf", "mqueue", "hugetlbfs",
		"autofs", "configfs", "fusectl", "binfmt_misc", "rpc_pipefs", "nsfs"};
	for (const char* k : kTypes)
		if (t == k)
			return true;
	return false;
}
