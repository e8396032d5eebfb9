// Tests for perfect, run against the built program as a user meets it: each
// case feeds it standard input, then compares what it wrote to standard
// output byte for byte, its exit status, and that standard error is empty.
//
//   dialogue_test [GoogleTest flags] [--windows] [command ...]
//
// With no command the program built beside the tests is run.  --windows
// says that the command runs a Windows build: it writes every line end as
// CR LF, and a reader that goes away is a write error to it, not a signal.

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> command{PERFECT_EXE};
bool windows = false;

// How long a run may take before it counts as hung: far more than any run
// needs, even under Wine or the sanitizers.
constexpr auto kDeadline = std::chrono::seconds(30);

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
	if (!windows)
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

// Whether f() comes to be true within the deadline, asked every few
// milliseconds.
template <typename F>
bool
until_true(F f)
{
	using clock = std::chrono::steady_clock;
	const auto until = clock::now() + kDeadline;
	while (!f()) {
		if (clock::now() >= until)
			return false;
		std::this_thread::sleep_for(std::chrono::milliseconds(5));
	}
	return true;
}

// Everything that fd gives from where it stands until its end.
std::string
read_all(int fd)
{
	std::string s;
	char b[65536];
	for (ssize_t k; (k = read(fd, b, sizeof b)) > 0;)
		s.append(b, static_cast<size_t>(k));
	return s;
}

// Reads from fd onto got until done() is true, fd has nothing more, or the
// deadline has passed, and says whether done() came true.  Never reads got
// past most bytes, so that what the program writes after that point is
// left for the next look.
template <typename F>
bool
read_until(int fd, std::string &got, F done, size_t most = SIZE_MAX)
{
	using clock = std::chrono::steady_clock;
	const auto until = clock::now() + kDeadline;
	while (!done()) {
		pollfd p{fd, POLLIN, 0};
		if (clock::now() >= until)
			return false;
		if (poll(&p, 1, 100) <= 0)
			continue;
		char b[4096];
		const ssize_t k =
		    read(fd, b, std::min(sizeof b, most - got.size()));
		if (k <= 0)
			return false;
		got.append(b, static_cast<size_t>(k));
	}
	return true;
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

	// Adds text at the end; whoever reads the file still starts where
	// the last reader stopped.
	void append(const std::string &text)
	{
		struct stat st;
		if (fstat(fd(), &st) != 0 ||
		    pwrite(fd(), text.data(), text.size(), st.st_size) !=
		        static_cast<ssize_t>(text.size()))
			throw std::runtime_error("scratch file not written");
	}

	// The whole file.
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

	// What the next reader of the file finds: the file from the place
	// where the last one left it.
	std::string rest() const { return read_all(fd()); }

    private:
	std::FILE *f_;
};

// A pipe that already holds all of text, its writing end closed, as from
// `printf text | perfect`.
class Piped {
    public:
	explicit Piped(const std::string &text)
	{
		int p[2];
		if (pipe2(p, O_CLOEXEC) != 0)
			throw std::runtime_error("no pipe");
		const bool ok = write(p[1], text.data(), text.size()) ==
		    static_cast<ssize_t>(text.size());
		close(p[1]);
		fd_ = p[0];
		if (!ok)
			throw std::runtime_error("pipe not written");
	}
	~Piped() { close(fd_); }
	Piped(const Piped &) = delete;
	Piped &operator=(const Piped &) = delete;

	int fd() const { return fd_; }

    private:
	int fd_;
};

struct Outcome {
	std::string out;
	std::string err;
	int status = -1; // exit status, 128 + the signal that ended it, or
	                 // -1 if it had to be killed
	long maxrss = 0; // peak resident memory, KiB
};

// Starts the program with in and out as its standard input and output
// (out -1: closed) and err as its standard error.  A room of 0 or more
// lets it write files no larger than that, as a full disk would, with
// the signal for a file too large ignored, so that a write past it fails.
pid_t
start(int in, int out, int err, const std::vector<std::string> &args,
    off_t room = -1)
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
		if (room >= 0) {
			signal(SIGXFSZ, SIG_IGN);
			const rlimit r{static_cast<rlim_t>(room),
			    static_cast<rlim_t>(room)};
			setrlimit(RLIMIT_FSIZE, &r);
		}
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

// Waits for the end of the run; one that outlasts the deadline is killed
// and fails the test, so that a program stuck in a loop cannot stall the
// suite.
Outcome
wait_for(pid_t pid)
{
	Outcome r;
	int st = 0;
	rusage ru{};
	if (!until_true([&] { return wait4(pid, &st, WNOHANG, &ru) != 0; })) {
		kill(pid, SIGKILL);
		wait4(pid, &st, 0, &ru);
		ADD_FAILURE() << "the program did not end within "
		              << kDeadline.count() << " s";
		return r;
	}
	r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
	r.maxrss = ru.ru_maxrss;
	return r;
}

// Where the program's standard output goes.
enum class To { file, full_disk, closed };

// Runs the program to its end with standard input read from in.  A room
// of 0 or more bounds how large its output file may grow.
Outcome
run_from(int in, To to = To::file, const std::vector<std::string> &args = {},
    off_t room = -1)
{
	Scratch out, err;
	int full = -1;
	if (to == To::full_disk)
		full = open("/dev/full", O_WRONLY | O_CLOEXEC);
	const int fd = to == To::file ? out.fd()
	    : to == To::full_disk     ? full
	                              : -1;
	Outcome r = wait_for(start(in, fd, err.fd(), args, room));
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

// Output lost from the start: to a full disk, or with standard output
// closed.  From a file of answers nothing is written before the run ends,
// so only the final closing of standard output can see the loss; from a
// pipe each prompt is written as it comes.
TEST(LostOutput, IsAFailure)
{
	const struct {
		const char *what;
		To to;
	} sinks[] = {{"full disk", To::full_disk}, {"closed", To::closed}};
	for (const auto &sink : sinks) {
		for (const bool from_file : {true, false}) {
			for (const char *input : {"1\n6\n", "1\n5\n", "90\n"}) {
				SCOPED_TRACE(std::string(sink.what) +
				    (from_file ? ", from a file"
				               : ", from a pipe") +
				    ", input " + shown(input));
				Scratch file(input);
				Piped pipe(input);
				const Outcome r = run_from(
				    from_file ? file.fd() : pipe.fd(), sink.to);
				EXPECT_EQ(r.status, 1);
				EXPECT_TRUE(same_bytes("", r.err))
				    << "(standard error)";
			}
		}
	}
}

// Output lost only at the report: the file takes the whole entry
// dialogue, then is full.
TEST(LostOutput, AtTheReportIsAFailure)
{
	const std::string fits = native(entry(1));
	for (const bool from_file : {true, false}) {
		for (const char *input : {"1\n6\n", "1\n5\n"}) {
			SCOPED_TRACE(std::string(from_file ? "from a file"
			                                   : "from a pipe") +
			    ", input " + shown(input));
			Scratch file(input);
			Piped pipe(input);
			const Outcome r =
			    run_from(from_file ? file.fd() : pipe.fd(),
			        To::file, {}, static_cast<off_t>(fits.size()));
			EXPECT_TRUE(same_bytes(fits, r.out));
			EXPECT_EQ(r.status, 1);
			EXPECT_TRUE(same_bytes("", r.err))
			    << "(standard error)";
		}
	}
}

// ---------------------------------------------------------------------
// Input is a stream of numbers.

// A file of answers is left positioned right after the last character the
// run looked at (the one that ended its last number, with the LF of a CR
// LF), so that whoever reads the file next, as in
// `{ perfect; cat; } < answers`, goes on from there.
struct Leftover {
	const char *name;
	std::string input;
	std::string output; // with \n line ends
	int status;
	std::string rest; // what the next reader finds
};

std::ostream &
operator<<(std::ostream &os, const Leftover &c)
{
	return os << c.name << ", input " << shown(c.input);
}

// clang-format off
const Leftover kLeftovers[] = {
    {"rest_of_the_line", "2 6 28 rest of the line\nnext line\n",
        entry(2) + report({6, 28}), 0, "rest of the line\nnext line\n"},
    {"next_line", "1\n6\nnext\n", entry(1) + report({6}), 0, "next\n"},
    {"next_line_after_cr_lf", "1\r\n6\r\nnext\r\n", entry(1) + report({6}), 0,
        "next\r\n"},
    {"after_a_lone_cr", "1 6\rnext", entry(1) + report({6}), 0, "next"},
    {"nothing_at_end_of_file", "1\n6", entry(1) + report({6}), 0, ""},
    {"far_into_the_file", "1" + std::string(200000, ' ') + "6 next\n",
        entry(1) + report({6}), 0, "next\n"},
    {"after_a_rejected_count", "90 6 28\n", kPrompt + kError, 1, "6 28\n"},
    {"after_a_rejected_value", "3\n6\n1000\n28\n", entry(2) + kError, 1,
        "28\n"},
    {"inside_a_reply_not_a_number", "2\n6\nabc\n28\n", entry(2) + kError, 1,
        "bc\n28\n"},
    {"after_a_decimal_point", "3\n6 7.5\n", entry(3) + kError, 1, "5\n"},
};
// clang-format on

class FileOfAnswers : public ::testing::TestWithParam<Leftover> {};

TEST_P(FileOfAnswers, LeavesTheRestToTheNextReader)
{
	const Leftover &c = GetParam();
	Scratch in(c.input);
	const Outcome r = run_from(in.fd());
	EXPECT_TRUE(same_bytes(native(c.output), r.out));
	EXPECT_EQ(r.status, c.status);
	EXPECT_TRUE(same_bytes(c.rest, in.rest())) << "(left in the file)";
}

INSTANTIATE_TEST_SUITE_P(Cases, FileOfAnswers, ::testing::ValuesIn(kLeftovers),
    [](const auto &info) { return std::string(info.param.name); });

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

// Input that cannot be read, such as a directory, is rejected at once.
TEST(Input, ReadErrorIsARejection)
{
	const int dir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	ASSERT_GE(dir, 0);
	const Outcome r = run_from(dir);
	close(dir);
	EXPECT_TRUE(same_bytes(native(kPrompt + kError), r.out));
	EXPECT_EQ(r.status, 1);
	EXPECT_TRUE(same_bytes("", r.err)) << "(standard error)";
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
// Through pipes, as another program or a person on the other end: every
// prompt is shown before the program waits for its answer.

// The program on the other end of two pipes.
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
		if (from_ >= 0)
			close(from_);
		if (pid_ > 0) {
			kill(pid_, SIGKILL);
			waitpid(pid_, nullptr, 0);
		}
	}
	Console(const Console &) = delete;
	Console &operator=(const Console &) = delete;

	// What the program writes before it waits: as many bytes as want has,
	// or what came within the deadline if it stops short.
	std::string screen(const std::string &want)
	{
		std::string got;
		read_until(
		    from_, got, [&] { return got.size() >= want.size(); },
		    want.size());
		return got;
	}

	void type(const std::string &s)
	{
		ASSERT_EQ(write(to_, s.data(), s.size()),
		    static_cast<ssize_t>(s.size()));
	}

	// Stops reading what the program writes, as a reader that goes away.
	void leave()
	{
		close(from_);
		from_ = -1;
	}

	// Waits for the end of the run and says what else it wrote.
	Outcome end()
	{
		close(to_);
		to_ = -1;
		const std::string rest = from_ >= 0 ? read_all(from_) : "";
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

// A reader that goes away before the report ends the run by the broken-pipe
// signal; a Windows program has no such signal and sees a write error.
TEST(Console, ReaderThatGoesAwayEndsTheRun)
{
	Console c;
	const std::string prompt = native(kPrompt);
	ASSERT_TRUE(same_bytes(prompt, c.screen(prompt)));
	c.type("1\n");
	const std::string shows = native(kHeading + "a[1]=");
	ASSERT_TRUE(same_bytes(shows, c.screen(shows)));
	c.leave();
	c.type("6\n");
	const Outcome r = c.end();
	EXPECT_EQ(r.status, windows ? 1 : 128 + SIGPIPE);
	EXPECT_TRUE(same_bytes("", r.err)) << "(standard error)";
}

// ---------------------------------------------------------------------
// At a terminal, started by a shell: every prompt shows before the program
// waits, and whatever follows the numbers on the last line typed goes with
// the run, never to the shell as a command.

// The characters a reader sees of terminal output: without control
// sequences and without white space.  Wine draws a Windows program's
// console with control sequences of its own, moving the cursor for each
// space, so there only this much of the program's output can be compared.
std::string
visible(const std::string &s)
{
	std::string t;
	for (size_t i = 0; i < s.size(); i++) {
		const unsigned char c = static_cast<unsigned char>(s[i]);
		if (c == '\x1b' && i + 1 < s.size() && s[i + 1] == '[') {
			for (i += 2;
			     i < s.size() && (s[i] < 0x40 || s[i] > 0x7e); i++)
				;
		} else if (c > ' ' && c < 0x7f) {
			t += static_cast<char>(c);
		}
	}
	return t;
}

bool
ends_with(const std::string &s, const std::string &end)
{
	return s.size() >= end.size() &&
	    s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// A shell on a pseudo-terminal.  Typed text is not echoed and output is
// not translated, so the screen shows exactly the bytes written to it.
class Terminal {
    public:
	static constexpr const char *kShellPrompt = "sh> ";

	Terminal()
	{
		master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
		if (master_ < 0 || grantpt(master_) != 0 ||
		    unlockpt(master_) != 0)
			throw std::runtime_error("no pseudo-terminal");
		const std::string slave = ptsname(master_);
		pid_ = fork();
		if (pid_ == 0) {
			setsid(); // the terminal becomes the shell's own
			const int fd = open(slave.c_str(), O_RDWR);
			termios t;
			tcgetattr(fd, &t);
			t.c_lflag &= ~static_cast<tcflag_t>(ECHO);
			t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
			tcsetattr(fd, TCSANOW, &t);
			for (int i = 0; i < 3; i++)
				dup2(fd, i);
			signal(SIGPIPE, SIG_DFL);
			setenv("PS1", kShellPrompt, 1);
			unsetenv("ENV");
			execl("/bin/sh", "sh", "-i",
			    static_cast<char *>(nullptr));
			_exit(127);
		}
		if (pid_ < 0)
			throw std::runtime_error("fork failed");
	}
	~Terminal()
	{
		close(master_);
		kill(pid_, SIGKILL);
		waitpid(pid_, nullptr, 0);
	}
	Terminal(const Terminal &) = delete;
	Terminal &operator=(const Terminal &) = delete;

	// Whether the screen comes to end in text within the deadline;
	// under Wine, in the text's visible characters.
	::testing::AssertionResult shows(const std::string &text)
	{
		const auto seen = [](const std::string &s) {
			return windows ? visible(s) : s;
		};
		if (read_until(master_, screen_,
		        [&] { return ends_with(seen(screen_), seen(text)); }))
			return ::testing::AssertionSuccess();
		return ::testing::AssertionFailure()
		    << "the screen does not end in " << shown(text)
		    << "\n  screen: " << shown(screen_);
	}

	// Whether the terminal is taken out of line mode within the deadline.
	// Wine's console does so when a Windows program first reads, then
	// edits lines itself; text typed before that would be cooked by the
	// terminal, its CR made LF, and reach the program as a literal ^J.
	// A person does not type that fast.
	::testing::AssertionResult raw() const
	{
		const auto is_raw = [this] {
			termios t;
			return tcgetattr(master_, &t) == 0 &&
			    (t.c_lflag & ICANON) == 0;
		};
		if (until_true(is_raw))
			return ::testing::AssertionSuccess();
		return ::testing::AssertionFailure()
		    << "the terminal stays in line mode";
	}

	// Whether the shell comes to be the only process left on the
	// terminal within the deadline.  Wine's console outlives a Windows
	// program by a few seconds and would take what is typed meanwhile.
	::testing::AssertionResult alone() const
	{
		if (until_true([this] { return on_terminal() == 1; }))
			return ::testing::AssertionSuccess();
		return ::testing::AssertionFailure()
		    << on_terminal() << " processes stay on the terminal";
	}

	// Types text; a line is ended by CR, as the Enter key sends it.
	void type(const std::string &s)
	{
		ASSERT_EQ(write(master_, s.data(), s.size()),
		    static_cast<ssize_t>(s.size()));
	}

	const std::string &screen() const { return screen_; }

    private:
	// The terminal of a process, as /proc/PID/stat gives it; -1 if none
	// can be read.
	static long terminal_of(const std::string &pid)
	{
		std::FILE *f =
		    std::fopen(("/proc/" + pid + "/stat").c_str(), "r");
		if (f == nullptr)
			return -1;
		char b[1024];
		const size_t k = std::fread(b, 1, sizeof b - 1, f);
		std::fclose(f);
		b[k] = '\0';
		// The name in parentheses may hold anything; the fields after
		// it are the state, the parent, the group, the session and the
		// terminal.
		const char *p = std::strrchr(b, ')');
		char state;
		long parent, group, session, tty;
		if (p == nullptr ||
		    std::sscanf(p + 1, " %c %ld %ld %ld %ld", &state, &parent,
		        &group, &session, &tty) != 5)
			return -1;
		return tty;
	}

	// How many processes have the shell's terminal as theirs.
	int on_terminal() const
	{
		const long tty = terminal_of(std::to_string(pid_));
		int n = 0;
		if (DIR *d = opendir("/proc")) {
			while (const dirent *e = readdir(d))
				if (std::isdigit(static_cast<unsigned char>(
				        e->d_name[0])) &&
				    terminal_of(e->d_name) == tty)
					n++;
			closedir(d);
		}
		return n;
	}

	int master_ = -1;
	pid_t pid_ = -1;
	std::string screen_;
};

// A command line that starts the program, then reports its status.
std::string
command_line()
{
	std::string s;
	for (const auto &w : command)
		s += "'" + w + "' ";
	return s + "; echo \"status $?\"\r";
}

struct Typing {
	const char *name;
	// What shows before each answer, and the answer.
	std::vector<std::pair<std::string, std::string>> steps;
	std::string end; // what shows after the last answer
	int status;
};

std::ostream &
operator<<(std::ostream &os, const Typing &c)
{
	return os << c.name;
}

// A line longer than the program's read buffer, so that its rest is still
// with the terminal when the last number has been read.
const std::string kLong(3000, ' ');

// clang-format off
const Typing kTypings[] = {
    {"answer_by_answer", {{kPrompt, "2\r"}, {kHeading + "a[1]=", "28\r"},
        {"a[2]=", "5 echo LEAKED\r"}}, report({28}), 0},
    {"all_on_one_line", {{kPrompt, "1 6 echo LEAKED\r"}},
        kHeading + "a[1]=" + report({6}), 0},
    {"all_on_one_long_line", {{kPrompt, "1 6" + kLong + "echo LEAKED\r"}},
        kHeading + "a[1]=" + report({6}), 0},
    {"rejected_count", {{kPrompt, "x echo LEAKED\r"}}, kError, 1},
    {"rejected_value_on_a_long_line",
        {{kPrompt, "2 6 1000" + kLong + "echo LEAKED\r"}},
        kHeading + "a[1]=a[2]=" + kError, 1},
};
// clang-format on

class AtATerminal : public ::testing::TestWithParam<Typing> {};

TEST_P(AtATerminal, NothingTypedReachesTheShell)
{
	const Typing &c = GetParam();
	const std::string sh = Terminal::kShellPrompt;
	Terminal t;
	ASSERT_TRUE(t.shows(sh));
	t.type(command_line());
	std::string dialogue;
	for (const auto &[shows, answer] : c.steps) {
		ASSERT_TRUE(t.shows(native(shows)))
		    << "(before the answer " << shown(answer) << ")";
		dialogue += native(shows);
		if (windows) {
			ASSERT_TRUE(t.raw());
		}
		t.type(answer);
	}
	dialogue += native(c.end);
	const std::string status = "status " + std::to_string(c.status) + "\n";
	ASSERT_TRUE(t.shows(native(c.end) + status + sh));

	// The shell's next command runs right after the program's status:
	// nothing typed for the program went to the shell first.
	ASSERT_TRUE(t.alone());
	t.type("echo \"end of\" test\r");
	const std::string after = status + sh + "end of test\n" + sh;
	ASSERT_TRUE(t.shows("end of test\n" + sh));
	EXPECT_TRUE(ends_with(t.screen(), after))
	    << "the shell ran something else:\n  screen: " << shown(t.screen());
	if (!windows) {
		EXPECT_TRUE(same_bytes(sh + dialogue + after, t.screen()));
	}
}

INSTANTIATE_TEST_SUITE_P(Cases, AtATerminal, ::testing::ValuesIn(kTypings),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

int
main(int argc, char **argv)
{
	::testing::InitGoogleTest(&argc, argv);
	// A program that ends early must not take the tests down with it.
	signal(SIGPIPE, SIG_IGN);
	int i = 1;
	if (i < argc && std::strcmp(argv[i], "--windows") == 0) {
		windows = true;
		i++;
	}
	if (i < argc)
		command.assign(argv + i, argv + argc);
	return RUN_ALL_TESTS();
}
