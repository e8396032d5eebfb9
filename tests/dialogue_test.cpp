// Tests for perfect, run against the built program as a user meets it: each
// case feeds it standard input, then compares what it wrote to standard
// output byte for byte, its exit status, and that standard error is empty.
//
//   dialogue_test [GoogleTest flags] [--crlf] [command ...]
//
// With no command the program built beside the tests is run.  --crlf
// expects every line end as CR LF, the way a Windows build writes them.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::string> command{PERFECT_EXE};
bool crlf = false;

// The program's texts.
const std::string kPrompt =
    "\nVvedite chislo jelementov massiva ( 0 < K < 90 ): ";
const std::string kHeading = "\nVvedite massiv ( 0 < X[I] < 1000 ):\n";
const std::string kError = "\n\n\n\a************** OShIBKA! *************\n";
const std::string kSeparator = "\n-------------------------\n";
const std::string kNone = "\n\aNET SOVERShENNYH ChISEL";

// The value prompts for positions 1 to k, back to back.
std::string
prompts(int k)
{
	std::string s;
	for (int i = 1; i <= k; i++)
		s += "a[" + std::to_string(i) + "]=";
	return s;
}

// The whole entry dialogue for k values that are all accepted.
std::string
entry(int k)
{
	return kPrompt + kHeading + prompts(k);
}

// What follows the entry dialogue when these perfect numbers are found.
std::string
report(const std::vector<int> &found)
{
	std::string s = kSeparator;
	for (int v : found)
		s += "\n" + std::to_string(v);
	return found.empty() ? s + kNone : s;
}

// Output as the program under test writes it: on Windows each line end
// becomes CR LF.
std::string
native(const std::string &s)
{
	if (!crlf)
		return s;
	std::string t;
	for (char c : s)
		t += c == '\n' ? "\r\n" : std::string(1, c);
	return t;
}

// Bytes with every control character spelt out, so that a missing line end
// or bell is plain to see.
std::string
shown(const std::string &s)
{
	std::string t = "\"";
	for (unsigned char c : s) {
		switch (c) {
		case '\n': t += "\\n"; break;
		case '\r': t += "\\r"; break;
		case '\a': t += "\\a"; break;
		case '\t': t += "\\t"; break;
		case '\\': t += "\\\\"; break;
		case '"': t += "\\\""; break;
		default:
			if (c < 0x20 || c > 0x7e) {
				char b[8];
				std::snprintf(b, sizeof b, "\\x%02x", c);
				t += b;
			} else {
				t += static_cast<char>(c);
			}
		}
	}
	return t + "\"";
}

::testing::AssertionResult
same_bytes(const std::string &want, const std::string &got)
{
	if (want == got)
		return ::testing::AssertionSuccess();
	size_t at = 0;
	while (at < want.size() && at < got.size() && want[at] == got[at])
		at++;
	return ::testing::AssertionFailure()
	    << "output differs from byte " << at << " on\n"
	    << "  expected: " << shown(want) << "\n"
	    << "  actual:   " << shown(got);
}

// A scratch file that is gone when the test is done with it.
class Scratch {
    public:
	// The file holds text, and is read from its start.
	explicit Scratch(const std::string &text = "") : f_(std::tmpfile())
	{
		if (f_ == nullptr)
			throw std::runtime_error("no scratch file");
		append(text);
	}
	~Scratch() { std::fclose(f_); }
	Scratch(const Scratch &) = delete;
	Scratch &operator=(const Scratch &) = delete;

	int fd() const { return fileno(f_); }

	// Adds text at the end; whoever reads the file still starts at its
	// beginning.
	void append(const std::string &text)
	{
		struct stat st;
		if (fstat(fd(), &st) != 0 ||
		    pwrite(fd(), text.data(), text.size(), st.st_size) !=
		        static_cast<ssize_t>(text.size()))
			throw std::runtime_error("scratch file not written");
	}

	std::string text() const
	{
		std::string s;
		char b[65536];
		ssize_t k;
		for (off_t at = 0; (k = pread(fd(), b, sizeof b, at)) > 0;
		     at += k)
			s.append(b, static_cast<size_t>(k));
		return s;
	}

    private:
	std::FILE *f_;
};

struct Outcome {
	std::string out;
	std::string err;
	int status = -1; // exit status, or 128 + the signal that ended it
	long maxrss = 0; // peak resident memory, KiB
};

// Starts the program with in and out as its standard input and output
// (out -1: closed) and err as its standard error.
pid_t
start(int in, int out, int err, const std::vector<std::string> &args)
{
	std::vector<std::string> words = command;
	words.insert(words.end(), args.begin(), args.end());
	std::vector<char *> argv;
	for (auto &w : words)
		argv.push_back(w.data());
	argv.push_back(nullptr);

	const pid_t pid = fork();
	if (pid == 0) {
		signal(SIGPIPE, SIG_DFL);
		dup2(in, 0);
		if (out < 0)
			close(1);
		else
			dup2(out, 1);
		dup2(err, 2);
		execvp(argv[0], argv.data());
		_exit(127);
	}
	if (pid < 0)
		throw std::runtime_error("fork failed");
	return pid;
}

Outcome
wait_for(pid_t pid)
{
	Outcome r;
	int st = 0;
	rusage ru{};
	while (wait4(pid, &st, 0, &ru) < 0 && errno == EINTR)
		;
	r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
	r.maxrss = ru.ru_maxrss;
	return r;
}

// Where the program's standard output goes.
enum class To { file, full_disk, closed };

// Runs the program to its end with standard input read from in.
Outcome
run_from(int in, To to = To::file, const std::vector<std::string> &args = {})
{
	Scratch out, err;
	int full = -1;
	if (to == To::full_disk)
		full = open("/dev/full", O_WRONLY | O_CLOEXEC);
	const int fd = to == To::file ? out.fd()
	    : to == To::full_disk     ? full
	                              : -1;
	Outcome r = wait_for(start(in, fd, err.fd(), args));
	if (full >= 0)
		close(full);
	r.out = out.text();
	r.err = err.text();
	return r;
}

Outcome
run(const std::string &input, To to = To::file,
    const std::vector<std::string> &args = {})
{
	Scratch in(input);
	return run_from(in.fd(), to, args);
}

// ---------------------------------------------------------------------
// The dialogue, case by case.

struct Case {
	const char *name;
	std::string input;
	std::string output; // with \n line ends
	int status;
};

std::ostream &
operator<<(std::ostream &os, const Case &c)
{
	return os << c.name << ", input " << shown(c.input);
}

std::string
values(int k, int v)
{
	std::string s = std::to_string(k) + "\n";
	for (int i = 0; i < k; i++)
		s += std::to_string(v) + "\n";
	return s;
}

// clang-format off: a row a case reads better than rows folded at 80.
const Case kCases[] = {
    // Runs that complete.
    {"perfect_among_others", "3\n6\n12\n28\n", entry(3) + report({6, 28}), 0},
    {"one_is_not_perfect", "1\n1\n", entry(1) + report({}), 0},
    {"smallest_and_largest_values", "2\n1\n999\n", entry(2) + report({}), 0},
    {"largest_count", values(89, 999), entry(89) + report({}), 0},
    {"all_perfect_at_largest_count", values(89, 496),
        entry(89) + report(std::vector<int>(89, 496)), 0},
    {"entry_order_kept", "3\n496\n6\n28\n", entry(3) + report({496, 6, 28}), 0},
    {"repeats_kept", "5\n28\n6\n28\n7\n6\n", entry(5) + report({28, 6, 28, 6}),
        0},
    {"numbers_on_one_line", "3 6 28 496\n", entry(3) + report({6, 28, 496}), 0},
    {"any_white_space_separates", "\r\n 2\r\n\t6\f\v28\r\n",
        entry(2) + report({6, 28}), 0},
    {"input_without_final_line_end", "1\n6", entry(1) + report({6}), 0},
    {"input_after_last_number_unread", "1\n6 seven\n", entry(1) + report({6}),
        0},
    {"plus_sign", "+2\n+6\n+5\n", entry(2) + report({6}), 0},
    {"leading_zeros", "002\n0006\n00000000000000000000000000000028\n",
        entry(2) + report({6, 28}), 0},

    // A count out of range, or not a number at all.
    {"count_above_89", "90\n6\n", kPrompt + kError, 1},
    {"count_zero", "0\n6\n", kPrompt + kError, 1},
    {"count_negative", "-5\n6\n", kPrompt + kError, 1},
    {"count_minus_zero", "-0\n6\n", kPrompt + kError, 1},
    {"count_beyond_int", "2147483648\n6\n", kPrompt + kError, 1},
    {"count_that_wraps_to_one", "4294967297\n6\n", kPrompt + kError, 1},
    {"count_not_a_number", "three\n", kPrompt + kError, 1},
    {"count_sign_alone", "+\n", kPrompt + kError, 1},
    {"count_sign_apart_from_digits", "- 3\n", kPrompt + kError, 1},
    {"empty_input", "", kPrompt + kError, 1},
    {"only_white_space", " \n\t\n", kPrompt + kError, 1},

    // A value out of range, or not a number at all.
    {"value_above_999", "4\n6\n1000\n28\n496\n", entry(2) + kError, 1},
    {"value_zero", "3\n0\n6\n", entry(1) + kError, 1},
    {"value_negative", "3\n6\n-1\n28\n", entry(2) + kError, 1},
    {"value_that_wraps_to_six", "1\n4294967302\n", entry(1) + kError, 1},
    {"negative_value_that_wraps_to_six", "1\n-4294967290\n", entry(1) + kError,
        1},
    {"value_of_many_digits", "1\n999999999999999999999999999999\n",
        entry(1) + kError, 1},
    {"value_not_a_number", "3\n6\nx\n28\n", entry(2) + kError, 1},
    {"value_with_decimal_point", "3\n6 7.5\n", entry(3) + kError, 1},
    {"input_ends_before_last_value", "3\n6\n28\n", entry(3) + kError, 1},
};
// clang-format on

class Dialogue : public ::testing::TestWithParam<Case> {};

TEST_P(Dialogue, WritesExactlyTheseBytes)
{
	const Case &c = GetParam();
	const Outcome r = run(c.input);
	EXPECT_TRUE(same_bytes(native(c.output), r.out));
	EXPECT_EQ(r.status, c.status);
	EXPECT_TRUE(same_bytes("", r.err)) << "(standard error)";
}

INSTANTIATE_TEST_SUITE_P(Cases, Dialogue, ::testing::ValuesIn(kCases),
    [](const auto &info) { return std::string(info.param.name); });

// Every value from 1 to 999, as many per run as a count allows: only 6, 28
// and 496 are listed.
TEST(Perfect, OnlySixTwentyEightAndFourHundredNinetySix)
{
	const std::set<int> perfect{6, 28, 496};
	for (int first = 1; first <= 999; first += 89) {
		const int k = std::min(89, 1000 - first);
		std::string input = std::to_string(k);
		std::vector<int> found;
		for (int v = first; v < first + k; v++) {
			input += " " + std::to_string(v);
			if (perfect.count(v) != 0)
				found.push_back(v);
		}
		SCOPED_TRACE("values " + std::to_string(first) + " to " +
		    std::to_string(first + k - 1));
		const Outcome r = run(input + "\n");
		EXPECT_TRUE(
		    same_bytes(native(entry(k) + report(found)), r.out));
		EXPECT_EQ(r.status, 0);
	}
}

TEST(Arguments, AreIgnored)
{
	for (const std::vector<std::string> &args :
	    {std::vector<std::string>{"--help"}, {"-v"}, {"5", "6"}}) {
		SCOPED_TRACE("arguments " + args[0]);
		const Outcome r = run("1\n6\n", To::file, args);
		EXPECT_TRUE(same_bytes(native(entry(1) + report({6})), r.out));
		EXPECT_EQ(r.status, 0);
		EXPECT_TRUE(same_bytes("", r.err)) << "(standard error)";
	}
}

// ---------------------------------------------------------------------
// Output that cannot be written makes the run fail, silently.

TEST(LostOutput, IsAFailure)
{
	const struct {
		const char *what;
		To to;
	} sinks[] = {{"full disk", To::full_disk}, {"closed", To::closed}};
	for (const auto &sink : sinks) {
		for (const char *input : {"1\n6\n", "1\n5\n", "90\n"}) {
			SCOPED_TRACE(
			    std::string(sink.what) + ", input " + shown(input));
			const Outcome r = run(input, sink.to);
			EXPECT_EQ(r.status, 1);
			EXPECT_TRUE(same_bytes("", r.err))
			    << "(standard error)";
		}
	}
}

// ---------------------------------------------------------------------
// Input is a stream of numbers.

// The program takes nothing past the white space that ends the last number
// it needs: the rest is left in the input for whoever reads next.
TEST(Input, RestIsLeftForTheNextReader)
{
	int p[2];
	ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
	const std::string rest = "rest of the line\nnext line\n";
	const std::string input = "2 6 28 " + rest;
	ASSERT_EQ(write(p[1], input.data(), input.size()),
	    static_cast<ssize_t>(input.size()));
	close(p[1]);

	const Outcome r = run_from(p[0]);
	EXPECT_TRUE(same_bytes(native(entry(2) + report({6, 28})), r.out));
	EXPECT_EQ(r.status, 0);

	std::string left;
	char b[256];
	for (ssize_t k; (k = read(p[0], b, sizeof b)) > 0;)
		left.append(b, static_cast<size_t>(k));
	close(p[0]);
	EXPECT_TRUE(same_bytes(rest, left)) << "(input left unread)";
}

// Two runs that share one file of answers each take their own.
TEST(Input, RunsShareOneFileOfAnswers)
{
	Scratch answers("1 6\n2\n28\n5\n");
	const Outcome first = run_from(answers.fd());
	const Outcome second = run_from(answers.fd());
	EXPECT_TRUE(same_bytes(native(entry(1) + report({6})), first.out));
	EXPECT_TRUE(same_bytes(native(entry(2) + report({28})), second.out));
	EXPECT_EQ(first.status, 0);
	EXPECT_EQ(second.status, 0);
}

// Megabytes of white space before a number, or a number megabytes long, do
// not make the program grow.  The input is written to its file in pieces,
// since a child's peak memory counts what the tests held when they started
// it.
TEST(Input, MemoryStaysFlat)
{
	const long base = run("1 6\n").maxrss;
	const struct {
		const char *what;
		std::string before;
		char fill;
		std::string after;
		std::string output;
		int status;
	} big[] = {
	    {"white space", "1", ' ', "6\n", entry(1) + report({6}), 0},
	    {"leading zeros", "1\n", '0', "28\n", entry(1) + report({28}), 0},
	    {"digits", "1\n", '9', "\n", entry(1) + kError, 1},
	};
	for (const auto &b : big) {
		SCOPED_TRACE(std::string("2 MiB of ") + b.what);
		Scratch in(b.before);
		const std::string chunk(64 << 10, b.fill);
		for (int i = 0; i < 32; i++)
			in.append(chunk);
		in.append(b.after);
		const Outcome r = run_from(in.fd());
		EXPECT_TRUE(same_bytes(native(b.output), r.out));
		EXPECT_EQ(r.status, b.status);
		EXPECT_LT(r.maxrss - base, 512)
		    << "peak memory grew from " << base << " KiB to "
		    << r.maxrss << " KiB";
	}
}

// ---------------------------------------------------------------------
// At a console: every prompt is shown before the program waits for its
// answer.

// The program on the other end of two pipes, as a person at a console.
class Console {
    public:
	Console()
	{
		int in[2], out[2];
		if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
			throw std::runtime_error("no pipes");
		pid_ = start(in[0], out[1], err_.fd(), {});
		close(in[0]);
		close(out[1]);
		to_ = in[1];
		from_ = out[0];
	}
	~Console()
	{
		if (to_ >= 0)
			close(to_);
		close(from_);
		if (pid_ > 0) {
			kill(pid_, SIGKILL);
			wait_for(pid_);
		}
	}
	Console(const Console &) = delete;
	Console &operator=(const Console &) = delete;

	// What the program writes before it waits: as many bytes as want has,
	// or what came within a generous time if it stops short.
	std::string screen(const std::string &want)
	{
		using clock = std::chrono::steady_clock;
		const auto until = clock::now() + std::chrono::seconds(30);
		std::string got;
		while (got.size() < want.size() && clock::now() < until) {
			pollfd p{from_, POLLIN, 0};
			if (poll(&p, 1, 100) <= 0)
				continue;
			char b[4096];
			const ssize_t k = read(from_, b,
			    std::min(sizeof b, want.size() - got.size()));
			if (k <= 0)
				break;
			got.append(b, static_cast<size_t>(k));
		}
		return got;
	}

	void type(const std::string &s)
	{
		ASSERT_EQ(write(to_, s.data(), s.size()),
		    static_cast<ssize_t>(s.size()));
	}

	// Waits for the end of the run and says what else it wrote.
	Outcome end()
	{
		close(to_);
		to_ = -1;
		std::string rest;
		char b[4096];
		for (ssize_t k; (k = read(from_, b, sizeof b)) > 0;)
			rest.append(b, static_cast<size_t>(k));
		Outcome r = wait_for(pid_);
		pid_ = -1;
		r.out = rest;
		r.err = err_.text();
		return r;
	}

    private:
	Scratch err_;
	pid_t pid_ = -1;
	int to_ = -1;
	int from_ = -1;
};

TEST(Console, EachPromptShowsBeforeTheProgramWaits)
{
	Console c;
	const std::vector<std::pair<std::string, std::string>> steps = {
	    {kPrompt, "2\n"},
	    {kHeading + "a[1]=", "28\n"},
	    {"a[2]=", "5\n"},
	};
	for (const auto &[shows, answer] : steps) {
		ASSERT_TRUE(same_bytes(native(shows), c.screen(native(shows))))
		    << "(before the answer " << shown(answer) << ")";
		c.type(answer);
	}
	const std::string last = native(report({28}));
	EXPECT_TRUE(same_bytes(last, c.screen(last)));
	const Outcome r = c.end();
	EXPECT_TRUE(same_bytes("", r.out)) << "(after the report)";
	EXPECT_EQ(r.status, 0);
	EXPECT_TRUE(same_bytes("", r.err)) << "(standard error)";
}

} // namespace

int
main(int argc, char **argv)
{
	::testing::InitGoogleTest(&argc, argv);
	// A program that ends early must not take the tests down with it.
	signal(SIGPIPE, SIG_IGN);
	int i = 1;
	if (i < argc && std::strcmp(argv[i], "--crlf") == 0) {
		crlf = true;
		i++;
	}
	if (i < argc)
		command.assign(argv + i, argv + argc);
	return RUN_ALL_TESTS();
}
