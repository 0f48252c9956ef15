# Shared by the benchmark scripts (sourced, not run): medians and wall-clock timing.

# The median of the numbers on standard input, one a line.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Runs a command and writes its wall time in microseconds to file descriptor 3; the
# command's output goes where the caller redirects it.
micros() {
    local start end
    start=$(date +%s%N)
    "$@"
    end=$(date +%s%N)
    echo $(((end - start) / 1000)) >&3
}
