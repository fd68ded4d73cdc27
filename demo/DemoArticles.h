// The articles of the demonstration news server: read from a folder of article files (one
// article a file, LF line ends, served in file-name order), numbered per newsgroup, and
// articles posted while it runs. Dates are moved forward as one block so that the newest
// bundled article is two hours old: the demonstration always looks recent, and the threads
// keep their spacing.
#pragma once

#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class DemoArticles {
public:
	struct Article {
		std::string messageId;
		std::vector<std::pair<std::string, std::string>> headers;  // name, value (unfolded)
		std::string head;  // the header block as served, lines ending in LF
		std::string body;  // lines ending in LF
		std::string Header(const std::string& name) const;  // "" when missing
	};
	struct Group {
		std::string description;
		std::vector<size_t> articles;  // indexes into the article list; number n is articles[n - 1]
		bool posting = true;
	};

	// Reads every regular file of dir; false with error for an unreadable folder or article.
	// A file named "newsgroups" lists the groups, one a line: NAME, a tab, the description.
	bool Load(const std::string& dir, std::string& error);

	// Posted text (LF line ends, dot-stuffing undone): checked and filed into its newsgroups.
	// False with the reason when refused; postedId gets its message-ID.
	bool Post(const std::string& text, std::string& reason, std::string* postedId = nullptr);

	// The lookups, all under the lock; false when there is no such thing.
	std::vector<std::string> GroupNames() const;
	bool GroupInfo(const std::string& name, Group& out) const;
	bool ByNumber(const std::string& group, long number, Article& out) const;
	bool ById(const std::string& messageId, Article& out) const;
	// The overview line of an article (fields separated by tabs), without the number.
	static std::string Overview(const Article& article);

	// Parses "Sat, 05 Dec 2026 10:00:00 +0100" (the weekday optional): UTC seconds and the zone
	// offset in seconds. Writes the same form back.
	static bool DateParse(const std::string& text, time_t& when, long& offset);
	static std::string DateText(time_t when, long offset);

private:
	bool parse(const std::string& text, Article& out, std::string& error) const;
	void file(size_t index);

	mutable std::mutex mLock;
	std::vector<Article> mArticles;
	std::map<std::string, Group> mGroups;
	std::map<std::string, size_t> mById;
	long mPosted = 0;
};
