# Shared by the Windows tests: counting and reporting checks. Sourced, not run.

passed=${passed:-0}
failed=${failed:-0}

# check <name> <command...>: runs the command in this shell, counts and reports the outcome,
# and returns the command's status.
check() {
    local name=$1 started=$SECONDS
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "PASS $name ($((SECONDS - started)) s)"
    else
        failed=$((failed + 1))
        echo "FAIL $name ($((SECONDS - started)) s)"
        return 1
    fi
}

# expect_equal <expected> <actual> [what]
expect_equal() {
    if [ "$1" != "$2" ]; then
        echo "  expected ${3:-value} '$1', got '$2'" >&2
        return 1
    fi
}
