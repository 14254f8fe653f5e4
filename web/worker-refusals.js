// What the worker says to the person when it cannot do what was asked, as against a fault of the
// page itself: a Refusal names its problem, which the page says in its own language where the
// person acted (the tables' "problem.*" keys).

export class Refusal extends Error {
  constructor(problem, message = problem) {
    super(message);
    this.problem = problem;
  }
}

// The refusal for a problem by its name: "unreadable" (the archive cannot be read any more),
// "changed" (it changed since it was opened), "noMemory".
export function refusal(problem) {
  return new Refusal(problem);
}

// The refusal for the problem the module last had with an entry, if any: null when it had none.
export function entryRefusal({ m, facts }) {
  const problem = facts.remakeProblems[m._varnu_entry_problem()];
  return problem === 'ready' ? null : refusal(problem);
}
