#include "NotifyImp.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "ThreadImp.h"

namespace {

const char kMagic[] = "QFN1\n";
const size_t kMagicLen = sizeof kMagic - 1;
const size_t kReceiveMax = 65536;
// Events waiting for the sender beyond this many are dropped (and every peer is owed a
// reload): memory stays bounded even when a worker posts faster than the peers can take.
const size_t kQueueMax = 20000;
// How long the sender waits for one peer whose queue is full before it gives that peer up
// for the batch at hand.
const int kPeerWaitMs = 250;
// How long Close keeps passing on what was posted before it.
const long long kDrainWait = 1000000;

struct Peer {
	int fd = -1;
	bool stalled = false;
	bool lost = false;  // something of the batch at hand did not reach it
};

struct Bus {
	std::string root;
	std::string folder;
	std::string endpoint;  // full path of our socket
	std::string leaf;  // its name in the folder
	std::string marker;  // full path of the marker that says we are owed a reload
	NotifyImp::Receiver receiver = nullptr;
	NotifyImp::Lost lost = nullptr;
	int sock = -1;
	int wake[2] = {-1, -1};

	std::mutex lock;  // guards queue, overflowed and stopping
	std::condition_variable changed;
	std::deque<std::string> queue;
	bool overflowed = false;  // events were dropped before reaching the queue
	bool stopping = false;

	std::map<std::string, Peer> peers;  // by leaf name; sender thread only
	std::thread sender;
	std::thread listener;
};

std::mutex sBusLock;  // guards sBus against Post racing Close
Bus* sBus = nullptr;

bool privateFolder(const std::string& path, bool create)
{
	if (create && mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
		return false;
	struct stat st;
	if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
		return false;
	return (st.st_mode & 0077) == 0 || chmod(path.c_str(), 0700) == 0;
}

// The per-user folder that holds the buses: $XDG_RUNTIME_DIR when it is a folder of ours,
// else a private folder in /tmp.
std::string userFolder()
{
	const char* runtime = getenv("XDG_RUNTIME_DIR");
	std::string base;
	if (runtime != nullptr && runtime[0] == '/') {
		struct stat st;
		if (stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid())
			base = runtime;
	}
	if (base.empty()) {
		base = "/tmp/quillfern-" + std::to_string(getuid());
		if (!privateFolder(base, true))
			return std::string();
	}
	while (base.size() > 1 && base.back() == '/')
		base.pop_back();
	std::string folder = base + "/quillfern";
	return privateFolder(folder, true) ? folder : std::string();
}

// One root may be named in several ways (relative, with "..", through a symbolic link, with a
// trailing slash); all of them must meet on one bus.
std::string canonicalRoot(const std::string& root)
{
	std::error_code error;
	std::filesystem::path path = std::filesystem::absolute(root, error);
	if (error)
		return root;
	std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
	std::string text = (error ? path.lexically_normal() : canonical).string();
	while (text.size() > 1 && text.back() == '/')
		text.pop_back();
	return text;
}

uint64_t rootHash(const std::string& root)
{
	uint64_t hash = 1469598103934665603ULL;
	for (unsigned char c : root) {
		hash ^= c;
		hash *= 1099511628211ULL;
	}
	return hash;
}

std::string hex(uint64_t value)
{
	char text[17];
	snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
	return text;
}

bool socketAddress(const std::string& path, sockaddr_un& addr)
{
	memset(&addr, 0, sizeof addr);
	addr.sun_family = AF_UNIX;
	if (path.size() >= sizeof addr.sun_path)
		return false;
	memcpy(addr.sun_path, path.c_str(), path.size() + 1);
	return true;
}

const char kSocketExt[] = ".sock";
const char kMarkerExt[] = ".reload";

bool hasExt(const char* name, const char* ext)
{
	size_t len = strlen(name), extLen = strlen(ext);
	return name[0] != '.' && len > extLen && strcmp(name + len - extLen, ext) == 0;
}

bool isSocketName(const char* name)
{
	return hasExt(name, kSocketExt);
}

// The name of the reload marker of a socket, and the other way round.
std::string markerName(const std::string& socketLeaf)
{
	return socketLeaf.substr(0, socketLeaf.size() - (sizeof kSocketExt - 1)) + kMarkerExt;
}

std::string socketName(const std::string& markerLeaf)
{
	return markerLeaf.substr(0, markerLeaf.size() - (sizeof kMarkerExt - 1)) + kSocketExt;
}

// Connects a datagram socket to a peer. Returns -1 and removes the file when nobody
// receives on it any more (its process ended without cleaning up).
int connectPeer(const std::string& path)
{
	sockaddr_un addr;
	if (!socketAddress(path, addr))
		return -1;
	int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
	if (fd < 0)
		return -1;
	if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
		int err = errno;
		close(fd);
		if (err == ECONNREFUSED)
			unlink(path.c_str());
		return -1;
	}
	return fd;
}

// Brings the peer list in line with the folder: new sockets are connected, vanished ones
// closed. Names carry a random token, so a name never comes back for another process.
void scanPeers(Bus& bus)
{
	std::map<std::string, Peer> seen;
	DIR* dir = opendir(bus.folder.c_str());
	if (dir == nullptr)
		return;
	while (dirent* entry = readdir(dir)) {
		if (!isSocketName(entry->d_name) || bus.leaf == entry->d_name)
			continue;
		auto known = bus.peers.find(entry->d_name);
		if (known != bus.peers.end()) {
			seen[entry->d_name] = known->second;
			bus.peers.erase(known);
			continue;
		}
		int fd = connectPeer(bus.folder + "/" + entry->d_name);
		if (fd >= 0)
			seen[entry->d_name].fd = fd;
	}
	closedir(dir);
	for (auto& gone : bus.peers)
		close(gone.second.fd);
	bus.peers.swap(seen);
}

// Refused: the datagram itself was not taken (it is lost for that peer only).
enum class Sent { Done, Full, Gone, Refused };

Sent sendPeer(Peer& peer, const std::string& datagram, int waitMs)
{
	long long deadline = ThreadImp::Ticks() + static_cast<long long>(waitMs) * 1000;
	for (;;) {
		ssize_t n = send(peer.fd, datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
		if (n >= 0)
			return Sent::Done;
		if (errno == EINTR)
			continue;
		if (errno == ECONNREFUSED || errno == ECONNRESET || errno == ENOTCONN || errno == EPIPE)
			return Sent::Gone;
		if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS)
			return Sent::Refused;
		long long left = (deadline - ThreadImp::Ticks()) / 1000;
		if (left <= 0)
			return Sent::Full;
		pollfd p = {peer.fd, POLLOUT, 0};
		poll(&p, 1, static_cast<int>(left));
	}
}

bool writable(const Peer& peer)
{
	pollfd p = {peer.fd, POLLOUT, 0};
	return poll(&p, 1, 0) > 0 && (p.revents & POLLOUT) != 0;
}

// A datagram with no event in it: it only wakes the peer.
std::string wakeDatagram(const Bus& bus)
{
	std::string datagram(kMagic, kMagicLen);
	datagram.append(bus.root);
	datagram.append(2, '\0');
	return datagram;
}

// Tells the peers that lost something of the batch that they are owed a reload: the marker
// is left after the loss, so that the reload it brings comes after it too. The peer looks for
// the marker when it has emptied its socket; the wake-up makes sure that it does so even when
// nothing else comes (when its socket is full, what is in it wakes it).
void owePeers(Bus& bus)
{
	std::string wake;
	for (auto& entry : bus.peers) {
		Peer& peer = entry.second;
		if (!peer.lost)
			continue;
		peer.lost = false;
		std::string marker = bus.folder + "/" + markerName(entry.first);
		int fd = open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
		if (fd >= 0)
			close(fd);
		if (wake.empty())
			wake = wakeDatagram(bus);
		ssize_t sent = send(peer.fd, wake.data(), wake.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
		(void)sent;
	}
}

void oweAll(Bus& bus)
{
	scanPeers(bus);
	for (auto& entry : bus.peers)
		entry.second.lost = true;
	owePeers(bus);
}

void senderLoop(Bus* bus)
{
	long long drainEnd = 0;
	for (;;) {
		std::deque<std::string> batch;
		bool stopping, overflowed;
		{
			std::unique_lock<std::mutex> held(bus->lock);
			bus->changed.wait(
				held, [bus] { return bus->stopping || bus->overflowed || !bus->queue.empty(); });
			batch.swap(bus->queue);
			stopping = bus->stopping;
			overflowed = bus->overflowed;
			bus->overflowed = false;
		}
		if (stopping && drainEnd == 0)
			drainEnd = ThreadImp::Ticks() + kDrainWait;
		if (!batch.empty()) {
			scanPeers(*bus);
			for (auto& entry : bus->peers) {
				if (entry.second.stalled && writable(entry.second))
					entry.second.stalled = false;
			}
			for (const std::string& datagram : batch) {
				for (auto it = bus->peers.begin(); it != bus->peers.end();) {
					Peer& peer = it->second;
					if (peer.stalled) {
						peer.lost = true;
						++it;
						continue;
					}
					int waitMs = kPeerWaitMs;
					if (drainEnd != 0) {
						long long left = (drainEnd - ThreadImp::Ticks()) / 1000;
						waitMs = left <= 0 ? 0 : (left < waitMs ? static_cast<int>(left) : waitMs);
					}
					Sent result = sendPeer(peer, datagram, waitMs);
					if (result == Sent::Gone) {
						// Its process ended: the socket file, if still there, is stale.
						close(peer.fd);
						unlink((bus->folder + "/" + it->first).c_str());
						unlink((bus->folder + "/" + markerName(it->first)).c_str());
						it = bus->peers.erase(it);
						continue;
					}
					if (result == Sent::Full)
						peer.stalled = true;
					if (result != Sent::Done)
						peer.lost = true;
					++it;
				}
			}
			owePeers(*bus);
		}
		if (overflowed)
			oweAll(*bus);
		if (stopping) {
			std::lock_guard<std::mutex> held(bus->lock);
			if (bus->queue.empty() && !bus->overflowed)
				break;
			if (ThreadImp::Ticks() > drainEnd) {
				// What is still queued will not be passed on.
				oweAll(*bus);
				break;
			}
		}
	}
	for (auto& entry : bus->peers)
		close(entry.second.fd);
	bus->peers.clear();
}

void deliver(Bus* bus, const char* data, size_t size)
{
	if (size < kMagicLen || memcmp(data, kMagic, kMagicLen) != 0)
		return;
	const char* end = data + size;
	const char* p = data + kMagicLen;
	const char* rootEnd = static_cast<const char*>(memchr(p, '\0', end - p));
	if (rootEnd == nullptr || std::string(p, rootEnd) != bus->root)
		return;
	p = rootEnd + 1;
	const char* nameEnd = static_cast<const char*>(memchr(p, '\0', end - p));
	if (nameEnd == nullptr || nameEnd == p)
		return;
	bus->receiver(std::string(p, nameEnd), std::string(nameEnd + 1, end));
}

void listenerLoop(Bus* bus)
{
	std::vector<char> buffer(kReceiveMax);
	for (;;) {
		pollfd p[2] = {{bus->sock, POLLIN, 0}, {bus->wake[0], POLLIN, 0}};
		if (poll(p, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			break;
		}
		if (p[1].revents != 0)
			break;
		for (;;) {
			ssize_t n = recv(bus->sock, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
			if (n < 0) {
				if (errno == EINTR)
					continue;
				break;
			}
			if (static_cast<size_t>(n) <= buffer.size())
				deliver(bus, buffer.data(), static_cast<size_t>(n));
			else if (bus->lost != nullptr)
				bus->lost();
		}
		// The socket is empty: a sender that could not reach us has left its marker by now.
		if (unlink(bus->marker.c_str()) == 0 && bus->lost != nullptr)
			bus->lost();
	}
}

// Removes sockets of processes that are gone, so that the folder does not fill up with them
// when nobody posts.
void sweep(const Bus& bus)
{
	DIR* dir = opendir(bus.folder.c_str());
	if (dir == nullptr)
		return;
	std::vector<std::string> names;
	while (dirent* entry = readdir(dir)) {
		if (isSocketName(entry->d_name) && bus.leaf != entry->d_name)
			names.push_back(entry->d_name);
	}
	closedir(dir);
	for (const std::string& name : names) {
		int fd = connectPeer(bus.folder + "/" + name);
		if (fd >= 0)
			close(fd);
	}
}

// Removes from the folder of a root what dead processes left (their sockets, and markers
// whose socket is gone), then the folder itself when nothing else is in it. A process that
// joins at that moment finds its folder gone when it binds, and makes it again.
void tidy(const std::string& folder)
{
	DIR* dir = opendir(folder.c_str());
	if (dir == nullptr)
		return;
	std::vector<std::string> sockets, markers;
	while (dirent* entry = readdir(dir)) {
		if (isSocketName(entry->d_name))
			sockets.push_back(entry->d_name);
		else if (hasExt(entry->d_name, kMarkerExt))
			markers.push_back(entry->d_name);
	}
	closedir(dir);
	for (const std::string& name : sockets) {
		std::string path = folder;
		int fd = connectPeer(path.append("/").append(name));
		if (fd >= 0)
			close(fd);
	}
	for (const std::string& name : markers) {
		struct stat st;
		std::string socket = folder, marker = folder;
		socket.append("/").append(socketName(name));
		marker.append("/").append(name);
		if (lstat(socket.c_str(), &st) != 0 && errno == ENOENT)
			unlink(marker.c_str());
	}
	rmdir(folder.c_str());
}

// Tidies the folders of every root, so that those of processes that died go too.
void tidyAll(const std::string& user)
{
	DIR* dir = opendir(user.c_str());
	if (dir == nullptr)
		return;
	std::vector<std::string> folders;
	while (dirent* entry = readdir(dir)) {
		if (strlen(entry->d_name) == 16 && strspn(entry->d_name, "0123456789abcdef") == 16)
			folders.push_back(user + "/" + entry->d_name);
	}
	closedir(dir);
	for (const std::string& folder : folders) {
		struct stat st;
		if (lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid())
			tidy(folder);
	}
}

void destroy(Bus* bus)
{
	if (bus->sock >= 0)
		close(bus->sock);
	for (int fd : bus->wake) {
		if (fd >= 0)
			close(fd);
	}
	if (!bus->endpoint.empty()) {
		unlink(bus->endpoint.c_str());
		unlink(bus->marker.c_str());
	}
	delete bus;
}

}  // namespace

std::string NotifyImp::Folder(const std::string& root)
{
	if (root.empty())
		return std::string();
	std::string user = userFolder();
	if (user.empty())
		return std::string();
	return user + "/" + hex(rootHash(canonicalRoot(root)));
}

bool NotifyImp::Open(const std::string& root, Receiver receiver, Lost lost)
{
	Close();
	if (receiver == nullptr)
		return false;
	std::string folder = Folder(root);
	if (folder.empty())
		return false;

	Bus* bus = new Bus;
	bus->root = canonicalRoot(root);
	bus->folder = folder;
	bus->receiver = receiver;
	bus->lost = lost;
	std::random_device random;
	uint64_t token =
		(static_cast<uint64_t>(random()) << 32) ^ random() ^ static_cast<uint64_t>(ThreadImp::Ticks());
	bus->leaf = std::to_string(getpid()) + "-" + hex(token) + ".sock";
	std::string path = folder + "/" + bus->leaf;

	sockaddr_un addr;
	if (!socketAddress(path, addr)) {
		destroy(bus);
		return false;
	}
	bus->sock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
	if (bus->sock < 0 || pipe2(bus->wake, O_CLOEXEC) != 0) {
		destroy(bus);
		return false;
	}
	// The last process of the root may remove the folder between its making and the bind.
	bool bound = false;
	for (int attempt = 0; attempt < 20 && !bound; attempt++) {
		if (!privateFolder(folder, true)) {
			if (errno == ENOENT)
				continue;
			break;
		}
		unlink(path.c_str());
		bound = bind(bus->sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
		if (!bound && errno != ENOENT)
			break;
	}
	if (!bound) {
		destroy(bus);
		return false;
	}
	bus->endpoint = path;
	bus->marker = folder + "/" + markerName(bus->leaf);
	sweep(*bus);
	bus->sender = std::thread(senderLoop, bus);
	bus->listener = std::thread(listenerLoop, bus);

	std::lock_guard<std::mutex> held(sBusLock);
	sBus = bus;
	return true;
}

void NotifyImp::Close()
{
	Bus* bus;
	{
		std::lock_guard<std::mutex> held(sBusLock);
		bus = sBus;
		sBus = nullptr;
	}
	if (bus == nullptr)
		return;
	{
		std::lock_guard<std::mutex> held(bus->lock);
		bus->stopping = true;
	}
	bus->changed.notify_all();
	bus->sender.join();
	ssize_t written = write(bus->wake[1], "x", 1);
	(void)written;
	bus->listener.join();
	std::string folder = bus->folder;
	destroy(bus);
	tidy(folder);
	size_t slash = folder.rfind('/');
	if (slash != std::string::npos)
		tidyAll(folder.substr(0, slash));
}

bool NotifyImp::IsOpen()
{
	std::lock_guard<std::mutex> held(sBusLock);
	return sBus != nullptr;
}

std::string NotifyImp::Endpoint()
{
	std::lock_guard<std::mutex> held(sBusLock);
	return sBus == nullptr ? std::string() : sBus->endpoint;
}

void NotifyImp::Post(const std::string& name, const std::string& payload)
{
	if (name.empty())
		return;
	std::string datagram;
	std::lock_guard<std::mutex> held(sBusLock);
	if (sBus == nullptr)
		return;
	datagram.reserve(kMagicLen + sBus->root.size() + name.size() + payload.size() + 2);
	datagram.append(kMagic, kMagicLen);
	datagram.append(sBus->root);
	datagram.push_back('\0');
	datagram.append(name);
	datagram.push_back('\0');
	datagram.append(payload);
	{
		std::lock_guard<std::mutex> queued(sBus->lock);
		if (datagram.size() > kReceiveMax || sBus->queue.size() >= kQueueMax)
			sBus->overflowed = true;
		else
			sBus->queue.push_back(std::move(datagram));
	}
	sBus->changed.notify_one();
}
