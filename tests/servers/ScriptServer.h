// A scripted line-protocol (NNTP-like) server for tests. It listens on 127.0.0.1 on a free port,
// runs in its own thread, and plays a script step by step on each connection it accepts:
// expected lines from the client, canned replies, raw bytes (garbage, half lines, huge lines),
// delays, and dropping the connection. What the client sent and every step that did not go as
// scripted are recorded for the test to check.
//
//   TestServers::ScriptServer server;
//   server.Line("200 ready").Reply("AUTHINFO USER joe", "381 password").Reply("QUIT", "205 bye");
//   server.Start();
//   ... connect to 127.0.0.1:server.Port() ...
//   server.Finish();  EXPECT_TRUE(server.Failures().empty());
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace TestServers {

class ScriptServer {
public:
	// Answers one client line with the bytes to send (lines ending in "\r\n"); kClose drops
	// the connection.
	using Handler = std::function<std::string(const std::string& line)>;
	static const char* const kClose;

	ScriptServer();
	~ScriptServer();
	ScriptServer(const ScriptServer&) = delete;
	ScriptServer& operator=(const ScriptServer&) = delete;

	uint16_t Port() const { return mPort; }

	// Script steps, added before Start().
	ScriptServer& Line(const std::string& line);  // the line and CR LF
	ScriptServer& Raw(const std::string& bytes);  // exactly these bytes
	// The bytes in pieces, each sent on its own after a pause, to split lines across reads.
	ScriptServer& Pieces(const std::vector<std::string>& pieces, int pauseMillis);
	ScriptServer& Fill(size_t count, char byte);  // count bytes, no line end
	ScriptServer& Expect(const std::string& line);  // the client's next line must be this
	ScriptServer& ExpectAny();  // any one line
	ScriptServer& Reply(const std::string& expect, const std::string& line)
	{
		return Expect(expect).Line(line);
	}
	ScriptServer& Delay(int millis);
	ScriptServer& Drop();  // close the connection now
	ScriptServer& Accept();  // drop, then take the next connection
	// Answers every further line of the connection with the handler until it says kClose or
	// the client goes.
	ScriptServer& Serve(Handler handler);

	// Starts the thread: it accepts the first connection, then plays the script. After the
	// last step it keeps the connection open, recording lines, until the client closes.
	void Start();
	// Waits for the script to end (at most waitMillis) and stops the thread.
	void Finish(int waitMillis = 10000);

	std::vector<std::string> Received() const;  // every line the client sent, in order
	std::vector<std::string> Failures() const;  // steps that did not go as scripted
	int Connections() const { return mConnections.load(); }

	// A port on 127.0.0.1 where nothing listens (for "connection refused").
	static uint16_t UnusedPort();

private:
	struct Step {
		enum Kind { Send, Pieces, Fill, Expect, ExpectAny, Delay, Drop, Accept, Serve } kind = Send;
		std::string text;
		std::vector<std::string> pieces;
		size_t count = 0;
		int millis = 0;
		Handler handler;
	};

	static Step stepOf(Step::Kind kind);
	void run();
	bool acceptOne();
	void dropClient();
	bool sendAll(const std::string& bytes);
	// The next line from the client; false when it closed, on stop, or after waitMillis.
	bool lineRead(std::string& line, int waitMillis);
	void fail(const std::string& what);

	int mListen = -1;
	int mClient = -1;
	uint16_t mPort = 0;
	std::vector<Step> mSteps;
	std::string mInput;  // bytes received but not yet taken as lines
	std::thread mThread;
	std::atomic<bool> mStop{false};
	std::atomic<bool> mDone{false};
	std::atomic<int> mConnections{0};
	mutable std::mutex mLock;
	std::vector<std::string> mReceived;
	std::vector<std::string> mFailures;
};

}  // namespace TestServers
