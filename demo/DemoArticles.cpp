#include "DemoArticles.h"

#include <dirent.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

const char* const kHost = "demo.example.net";
const size_t kPostedMax = 10000;  // articles a run takes by POST before it refuses more

const char* const kMonths[] = {
	"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

bool sameNoCase(const std::string& a, const std::string& b)
{
	return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
		return std::tolower(x) == std::tolower(y);
	});
}

std::string trimmed(const std::string& s)
{
	size_t b = s.find_first_not_of(" \t");
	if (b == std::string::npos)
		return "";
	size_t e = s.find_last_not_of(" \t");
	return s.substr(b, e - b + 1);
}

std::vector<std::string> newsgroupsOf(const std::string& value)
{
	std::vector<std::string> out;
	std::stringstream in(value);
	std::string name;
	while (std::getline(in, name, ','))
		if (!trimmed(name).empty())
			out.push_back(trimmed(name));
	return out;
}

bool readFile(const std::string& path, std::string& out)
{
	std::ifstream in(path, std::ios::binary);
	if (!in)
		return false;
	std::stringstream buffer;
	buffer << in.rdbuf();
	out = buffer.str();
	return true;
}

// A number of minDigits to maxDigits decimal digits, nothing else.
bool number(const std::string& text, size_t minDigits, size_t maxDigits, int& value)
{
	if (text.size() < minDigits || text.size() > maxDigits)
		return false;
	auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
	return ec == std::errc() && end == text.data() + text.size() && text[0] != '-';
}

}  // namespace

std::string DemoArticles::Article::Header(const std::string& name) const
{
	for (const auto& h : headers)
		if (sameNoCase(h.first, name))
			return h.second;
	return "";
}

bool DemoArticles::DateParse(const std::string& text, time_t& when, long& offset)
{
	std::string s = trimmed(text);
	size_t comma = s.find(',');
	if (comma != std::string::npos)
		s = s.substr(comma + 1);
	// "D Mon YYYY HH:MM:SS +ZZZZ", anything after the zone ignored. Every number is digits only
	// and short enough that it cannot overflow.
	std::istringstream in(s);
	std::string dayText, month, yearText, clock, zone;
	if (!(in >> dayText >> month >> yearText >> clock >> zone))
		return false;
	int day = 0, year = 0, hour = 0, minute = 0, second = 0;
	if (!number(dayText, 1, 2, day) || !number(yearText, 4, 4, year) || clock.size() != 8 ||
		clock[2] != ':' || clock[5] != ':' || !number(clock.substr(0, 2), 2, 2, hour) ||
		!number(clock.substr(3, 2), 2, 2, minute) || !number(clock.substr(6, 2), 2, 2, second))
		return false;
	int m = -1;
	for (int i = 0; i < 12; ++i)
		if (month == kMonths[i])
			m = i;
	if (m < 0 || day < 1 || day > 31 || year < 1970 || hour > 23 || minute > 59 || second > 60)
		return false;
	int zoneValue = 0;
	if (zone.size() != 5 || (zone[0] != '+' && zone[0] != '-') || !number(zone.substr(1), 4, 4, zoneValue))
		return false;
	offset = long(zoneValue / 100) * 3600 + long(zoneValue % 100) * 60;
	if (zone[0] == '-')
		offset = -offset;
	struct tm t = {};
	t.tm_year = year - 1900;
	t.tm_mon = m;
	t.tm_mday = day;
	t.tm_hour = hour;
	t.tm_min = minute;
	t.tm_sec = second;
	when = timegm(&t) - offset;
	return true;
}

std::string DemoArticles::DateText(time_t when, long offset)
{
	time_t local = when + offset;
	struct tm t = {};
	gmtime_r(&local, &t);
	long a = offset < 0 ? -offset : offset;
	char out[64];
	std::snprintf(out, sizeof out, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[t.tm_wday],
		t.tm_mday, kMonths[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec, offset < 0 ? '-' : '+',
		a / 3600, (a % 3600) / 60);
	return out;
}

bool DemoArticles::parse(const std::string& text, Article& out, std::string& error) const
{
	size_t split = text.find("\n\n");
	if (split == std::string::npos) {
		error = "no empty line after the header";
		return false;
	}
	out.head = text.substr(0, split + 1);
	out.body = text.substr(split + 2);
	if (!out.body.empty() && out.body.back() != '\n')
		out.body += '\n';
	out.headers.clear();
	std::stringstream in(out.head);
	std::string line;
	while (std::getline(in, line)) {
		if (!line.empty() && line.back() == '\r')
			line.pop_back();
		if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
			if (out.headers.empty()) {
				error = "a continuation line before the first header";
				return false;
			}
			out.headers.back().second += " " + trimmed(line);
			continue;
		}
		size_t colon = line.find(':');
		if (colon == std::string::npos || colon == 0 || line.find(' ') < colon) {
			error = "not a header line: " + line.substr(0, 80);
			return false;
		}
		out.headers.emplace_back(line.substr(0, colon), trimmed(line.substr(colon + 1)));
	}
	for (const char* need : {"From", "Newsgroups", "Subject"})
		if (out.Header(need).empty()) {
			error = std::string("no ") + need + " header";
			return false;
		}
	out.messageId = out.Header("Message-ID");
	return true;
}

bool DemoArticles::Load(const std::string& dir, std::string& error)
{
	std::string list;
	if (!readFile(dir + "/newsgroups", list)) {
		error = "cannot read " + dir + "/newsgroups";
		return false;
	}
	std::stringstream in(list);
	std::string line;
	while (std::getline(in, line)) {
		line = trimmed(line);
		if (line.empty() || line[0] == '#')
			continue;
		size_t tab = line.find('\t');
		Group g;
		g.description = tab == std::string::npos ? "" : trimmed(line.substr(tab + 1));
		mGroups[line.substr(0, tab)] = g;
	}
	std::vector<std::string> names;
	if (DIR* d = opendir(dir.c_str())) {
		while (struct dirent* e = readdir(d)) {
			std::string leaf = e->d_name;
			if (leaf.size() > 4 && leaf.compare(leaf.size() - 4, 4, ".txt") == 0)
				names.push_back(leaf);
		}
		closedir(d);
	} else {
		error = "cannot read the folder " + dir;
		return false;
	}
	std::sort(names.begin(), names.end());
	time_t newest = 0;
	std::vector<std::pair<time_t, long>> dates;
	for (const std::string& leaf : names) {
		std::string text;
		Article a;
		std::string path = dir;
		path += '/';
		path += leaf;
		if (!readFile(path, text) || !parse(text, a, error)) {
			std::string reason = error.empty() ? "cannot read" : error;
			error = leaf;
			error += ": ";
			error += reason;
			return false;
		}
		time_t when = 0;
		long offset = 0;
		if (a.messageId.empty() || !DateParse(a.Header("Date"), when, offset)) {
			error = leaf + ": needs a Message-ID and a Date";
			return false;
		}
		if (mById.count(a.messageId)) {
			error = leaf + ": Message-ID used twice: " + a.messageId;
			return false;
		}
		newest = std::max(newest, when);
		dates.emplace_back(when, offset);
		mById[a.messageId] = mArticles.size();
		mArticles.push_back(a);
	}
	// The whole set moves so that its newest article is two hours old.
	time_t shift = (std::time(nullptr) - time_t(2) * 3600 - newest) / 60 * 60;
	for (size_t i = 0; i < mArticles.size(); ++i) {
		Article& a = mArticles[i];
		std::string date = DateText(dates[i].first + shift, dates[i].second);
		std::string head;
		std::stringstream lines(a.head);
		while (std::getline(lines, line))
			head += (line.compare(0, 5, "Date:") == 0 ? "Date: " + date : line) + "\n";
		a.head = head;
		for (auto& h : a.headers)
			if (sameNoCase(h.first, "Date"))
				h.second = date;
		size_t before = 0;
		for (const auto& g : mGroups)
			before += g.second.articles.size();
		file(i);
		size_t after = 0;
		for (const auto& g : mGroups)
			after += g.second.articles.size();
		if (after == before) {
			error = names[i] + ": none of its newsgroups is in the newsgroups file";
			return false;
		}
	}
	return true;
}

void DemoArticles::file(size_t index)
{
	Article& a = mArticles[index];
	std::string xref = std::string("Xref: ") + kHost;
	bool any = false;
	for (const std::string& name : newsgroupsOf(a.Header("Newsgroups"))) {
		auto g = mGroups.find(name);
		if (g == mGroups.end())
			continue;
		g->second.articles.push_back(index);
		xref += " " + name + ":" + std::to_string(g->second.articles.size());
		any = true;
	}
	if (any)
		a.head = std::string("Path: ") + kHost + "!not-for-mail\n" + a.head + xref + "\n";
}

bool DemoArticles::Post(const std::string& text, std::string& reason, std::string* postedId)
{
	Article a;
	if (!parse(text, a, reason))
		return false;
	std::lock_guard<std::mutex> held(mLock);
	if (static_cast<size_t>(mPosted) >= kPostedMax) {
		reason = "the demonstration server takes no more articles";
		return false;
	}
	std::vector<std::string> groups = newsgroupsOf(a.Header("Newsgroups"));
	for (const std::string& name : groups)
		if (!mGroups.count(name)) {
			reason = "no such newsgroup: " + name;
			return false;
		}
	if (a.messageId.empty()) {
		a.messageId = "<demo." + std::to_string(++mPosted) + "." + std::to_string(std::time(nullptr)) + "@" +
			kHost + ">";
		a.head += "Message-ID: " + a.messageId + "\n";
		a.headers.emplace_back("Message-ID", a.messageId);
	} else {
		++mPosted;
	}
	if (mById.count(a.messageId)) {
		reason = "duplicate message-ID " + a.messageId;
		return false;
	}
	if (a.Header("Date").empty()) {
		std::string date = DateText(std::time(nullptr), 0);
		a.head += "Date: " + date + "\n";
		a.headers.emplace_back("Date", date);
	}
	mById[a.messageId] = mArticles.size();
	mArticles.push_back(a);
	file(mArticles.size() - 1);
	if (postedId)
		*postedId = a.messageId;
	return true;
}

std::vector<std::string> DemoArticles::GroupNames() const
{
	std::lock_guard<std::mutex> held(mLock);
	std::vector<std::string> out;
	for (const auto& g : mGroups)
		out.push_back(g.first);
	return out;
}

bool DemoArticles::GroupInfo(const std::string& name, Group& out) const
{
	std::lock_guard<std::mutex> held(mLock);
	auto g = mGroups.find(name);
	if (g == mGroups.end())
		return false;
	out = g->second;
	return true;
}

bool DemoArticles::ByNumber(const std::string& group, long number, Article& out) const
{
	std::lock_guard<std::mutex> held(mLock);
	auto g = mGroups.find(group);
	if (g == mGroups.end() || number < 1 || static_cast<size_t>(number) > g->second.articles.size())
		return false;
	out = mArticles[g->second.articles[static_cast<size_t>(number - 1)]];
	return true;
}

bool DemoArticles::ById(const std::string& messageId, Article& out) const
{
	std::lock_guard<std::mutex> held(mLock);
	auto i = mById.find(messageId);
	if (i == mById.end())
		return false;
	out = mArticles[i->second];
	return true;
}

std::string DemoArticles::Overview(const Article& a)
{
	// Each field stays on the line and in its column, whatever a poster put in it.
	auto field = [](std::string s) {
		for (char& c : s)
			if (c == '\t' || c == '\r' || c == '\n')
				c = ' ';
		return s;
	};
	size_t lines = static_cast<size_t>(std::count(a.body.begin(), a.body.end(), '\n'));
	size_t bytes = a.head.size() + 1 + a.body.size() + lines + 1 +
		static_cast<size_t>(std::count(a.head.begin(), a.head.end(), '\n'));
	return field(a.Header("Subject")) + "\t" + field(a.Header("From")) + "\t" + field(a.Header("Date")) +
		"\t" + field(a.messageId) + "\t" + field(a.Header("References")) + "\t" + std::to_string(bytes) +
		"\t" + std::to_string(lines);
}
