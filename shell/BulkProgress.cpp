#include "BulkProgress.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "Notify.h"
#include "NotifyList.h"
#include "TimeCore.h"

namespace {

// The count in a progress text ("Reindexing 1234 messages ..."): its first number.
long countIn(const std::string& text)
{
	size_t at = text.find_first_of("0123456789");
	return at == std::string::npos ? -1 : std::strtol(text.c_str() + at, nullptr, 10);
}

// Texts come from message directories and language files: nothing in them may move the
// cursor or start a terminal sequence.
std::string printable(const std::string& text)
{
	std::string out;
	for (unsigned char c : text)
		out += c < 0x20 || c == 0x7F ? '?' : char(c);
	return out;
}

}  // namespace

BulkProgress::BulkProgress(const TString& mdir, const std::string& name) : mMdir(mdir), mName(name)
{
	Notify::Register(NotifyList::MdirUpdate(), received, this);
}

BulkProgress::~BulkProgress()
{
	Notify::Unregister(NotifyList::MdirUpdate(), received, this);
	Finish();
}

bool BulkProgress::Terminal()
{
	return isatty(STDERR_FILENO) == 1;
}

void BulkProgress::Finish()
{
	if (mOpen)
		std::fputc('\n', stderr);
	else if (!mLast.empty() && !Terminal())
		std::fprintf(stderr, "%s: %s\n", mName.c_str(), mLast.c_str());
	mOpen = false;
	mLast.clear();
}

void BulkProgress::received(void* context, const TString& payload)
{
	auto* self = static_cast<BulkProgress*>(context);
	std::string all(payload.String());
	size_t newline = all.find('\n');
	if (newline == std::string::npos || all.compare(0, newline, self->mMdir.String()) != 0)
		return;
	self->update(printable(all.substr(newline + 1)));
}

void BulkProgress::update(const std::string& text)
{
	long long now = TimeCore::TickCount();
	if (text.empty()) {
		// The step is over.
		Finish();
		return;
	}
	if (mLast.empty())
		mStepStart = now;
	mLast = text;
	if (!Terminal())
		return;
	std::string line = mName + ": " + text;
	long count = countIn(text);
	long long spent = now - mStepStart;
	if (count > 1 && spent > 0)
		line += " (" + std::to_string(static_cast<long long>(count * 1000000.0 / spent)) + "/s)";
	std::fprintf(stderr, "\r\033[K%s", line.c_str());
	std::fflush(stderr);  // NOLINT(cert-err33-c): progress only
	mOpen = true;
}
