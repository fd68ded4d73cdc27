// Helpers shared by the test programs: private temporary folders and running the built command.
#pragma once

#include <string>
#include <vector>

namespace TestSupport {

// Points HOME and the XDG folders of this process at a fresh temporary folder.
void IsolateUserFolders();

// A temporary folder removed with everything in it when the object goes.
class TempDir {
public:
	TempDir();
	~TempDir();
	TempDir(const TempDir&) = delete;
	TempDir& operator=(const TempDir&) = delete;
	const std::string& Path() const { return mPath; }
	std::string Sub(const std::string& leaf) const { return mPath + "/" + leaf; }

private:
	std::string mPath;
};

struct RunResult {
	int status = -1;  // exit status, or -1 when the program did not exit normally
	std::string out;
	std::string err;
};

// Runs the built quillfern with the arguments and extra environment ("NAME=value"),
// feeding `input` on standard input.
RunResult RunQuillfern(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
	const std::string& input = "");

// Runs any program the same way.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
	const std::vector<std::string>& env = {}, const std::string& input = "");

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool Exists(const std::string& path);

}  // namespace TestSupport
