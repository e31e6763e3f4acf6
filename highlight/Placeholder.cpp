// The highlighters are added here.
