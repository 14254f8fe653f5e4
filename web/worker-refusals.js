// What the worker says to the person when it cannot do what was asked, as against a fault of the
// page itself: a Refusal's message is shown where the person acted.

export class Refusal extends Error {}

// Why an entry's file could not be made again, by the module's names for the problems
// (module_facts.hpp's "remakeProblems").
const PROBLEMS = {
  unreadable: 'it cannot be read any more: it was moved, changed or removed since it was opened',
  changed: 'it has changed since it was opened: open it again',
  noMemory: 'there is not enough memory for it',
};

// The refusal for a problem by its name.
export function refusal(problem) {
  return new Refusal(PROBLEMS[problem]);
}

// The refusal for the problem the module last had with an entry, if any: null when it had none.
export function entryRefusal({ m, facts }) {
  const problem = facts.remakeProblems[m._varnu_entry_problem()];
  return problem in PROBLEMS ? refusal(problem) : null;
}
