tea	tea[N][Sg]
teas	tea[N][Pl]
中	中[N]
tee	tee[N][Sg]
