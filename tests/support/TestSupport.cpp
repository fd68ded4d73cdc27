#include "TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace TestSupport {

namespace fs = std::filesystem;

static std::string makeTemp()
{
	std::string tmpl = (fs::temp_directory_path() / "quillfern-test-XXXXXX").string();
	if (!mkdtemp(tmpl.data()))
		throw std::runtime_error("mkdtemp failed");
	return tmpl;
}

void IsolateUserFolders()
{
	static std::string home = makeTemp();
	setenv("HOME", home.c_str(), 1);
	setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
	setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
	std::string runtime = home + "/run";
	mkdir(runtime.c_str(), 0700);
	setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
	unsetenv("QUILLFERN_ROOT");
	setenv("LANG", "C.UTF-8", 1);
	unsetenv("LANGUAGE");
	unsetenv("LC_ALL");
	unsetenv("LC_MESSAGES");
	std::atexit([] {
		std::error_code ec;
		fs::remove_all(home, ec);
	});
}

TempDir::TempDir() : mPath(makeTemp())
{}

TempDir::~TempDir()
{
	std::error_code ec;
	// Tests may leave read-only folders behind; make them writable so that they can go.
	for (auto it = fs::recursive_directory_iterator(mPath, fs::directory_options::skip_permission_denied, ec);
		 !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
		if (it->is_directory(ec))
			chmod(it->path().c_str(), 0700);
	}
	chmod(mPath.c_str(), 0700);
	fs::remove_all(mPath, ec);
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
	const std::vector<std::string>& env, const std::string& input)
{
	int inPipe[2], outPipe[2], errPipe[2];
	// Close-on-exec, so that programs started at once from several threads get only their own pipes.
	if (pipe2(inPipe, O_CLOEXEC) || pipe2(outPipe, O_CLOEXEC) || pipe2(errPipe, O_CLOEXEC))
		throw std::runtime_error("pipe failed");

	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
	posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
	posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
	for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
		posix_spawn_file_actions_addclose(&actions, fd);

	std::vector<std::string> argStore{program};
	argStore.insert(argStore.end(), args.begin(), args.end());
	std::vector<char*> argv;
	for (auto& a : argStore)
		argv.push_back(a.data());
	argv.push_back(nullptr);

	std::vector<std::string> envStore;
	for (char** e = environ; *e; ++e)
		envStore.emplace_back(*e);
	for (const auto& e : env) {
		std::string name = e.substr(0, e.find('='));
		std::erase_if(
			envStore, [&](const std::string& s) { return s.compare(0, name.size() + 1, name + "=") == 0; });
		if (e.find('=') != std::string::npos)
			envStore.push_back(e);
	}
	std::vector<char*> envp;
	for (auto& e : envStore)
		envp.push_back(e.data());
	envp.push_back(nullptr);

	pid_t pid;
	int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
	posix_spawn_file_actions_destroy(&actions);
	close(inPipe[0]);
	close(outPipe[1]);
	close(errPipe[1]);
	if (rc != 0) {
		close(inPipe[1]);
		close(outPipe[0]);
		close(errPipe[0]);
		throw std::runtime_error("cannot start " + program);
	}

	RunResult result;
	size_t written = 0;
	int inFd = inPipe[1];
	if (input.empty()) {
		close(inFd);
		inFd = -1;
	} else {
		fcntl(inFd, F_SETFL, O_NONBLOCK);
	}
	bool outOpen = true, errOpen = true;
	char buf[4096];
	while (outOpen || errOpen) {
		pollfd fds[3];
		int n = 0;
		if (outOpen)
			fds[n++] = {outPipe[0], POLLIN, 0};
		if (errOpen)
			fds[n++] = {errPipe[0], POLLIN, 0};
		if (inFd >= 0)
			fds[n++] = {inFd, POLLOUT, 0};
		if (poll(fds, n, -1) < 0)
			break;
		for (int i = 0; i < n; ++i) {
			if (!fds[i].revents)
				continue;
			if (fds[i].fd == inFd) {
				ssize_t w = write(inFd, input.data() + written, input.size() - written);
				if (w > 0)
					written += size_t(w);
				if (w < 0 || written == input.size()) {
					close(inFd);
					inFd = -1;
				}
				continue;
			}
			ssize_t r = read(fds[i].fd, buf, sizeof buf);
			std::string& dst = fds[i].fd == outPipe[0] ? result.out : result.err;
			if (r > 0)
				dst.append(buf, size_t(r));
			else if (fds[i].fd == outPipe[0])
				outOpen = false;
			else
				errOpen = false;
		}
	}
	if (inFd >= 0)
		close(inFd);
	close(outPipe[0]);
	close(errPipe[0]);
	int status = 0;
	waitpid(pid, &status, 0);
	result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
	return result;
}

RunResult RunQuillfern(
	const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& input)
{
	return RunProgram(QUILLFERN_BINARY, args, env, input);
}

std::string ReadFile(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	std::ostringstream ss;
	ss << in.rdbuf();
	return ss.str();
}

void WriteFile(const std::string& path, const std::string& content)
{
	std::ofstream out(path, std::ios::binary | std::ios::trunc);
	out << content;
}

bool Exists(const std::string& path)
{
	struct stat st;
	return lstat(path.c_str(), &st) == 0;
}

}  // namespace TestSupport
