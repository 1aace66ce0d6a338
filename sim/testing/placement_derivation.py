# placement_derivation.py -- the expected numbers of placement_test.cpp worked out without the host:
# the landed attitude of a zero-filled record and the rest of a vessel on three equal springs.
import math
d=math.pi/180
def sub(a,b): return [a[i]-b[i] for i in range(3)]
def add(a,b): return [a[i]+b[i] for i in range(3)]
def mulv(a,s): return [x*s for x in a]
def dot(a,b): return sum(a[i]*b[i] for i in range(3))
def cross(a,b): return [a[1]*b[2]-a[2]*b[1], a[2]*b[0]-a[0]*b[2], a[0]*b[1]-a[1]*b[0]]
def unit(a): l=math.sqrt(dot(a,a)); return [x/l for x in a]
def solve3(A,y):
    # Cramer
    def det(M): return (M[0][0]*(M[1][1]*M[2][2]-M[1][2]*M[2][1])-M[0][1]*(M[1][0]*M[2][2]-M[1][2]*M[2][0])+M[0][2]*(M[1][0]*M[2][1]-M[1][1]*M[2][0]))
    D=det(A); out=[]
    for j in range(3):
        M=[row[:] for row in A]
        for i in range(3): M[i][j]=y[i]
        out.append(det(M)/D)
    return out
lng,lat=85.9*d,3.0*d
up=[math.cos(lat)*math.cos(lng),math.sin(lat),math.cos(lat)*math.sin(lng)]
print("zero: pitch %.10f bank %.10f" % (math.degrees(math.atan2(up[2],up[1])), math.degrees(math.atan2(up[0],up[1]))))
G,M,R=6.67259e-11,5.973698968e24,6371010.0
m=300; k=20*m; W=G*M*m/R**2
P=[[0,-1.5,4.0],[-2,-1,-2.0],[2,-1,-2.0]]
n=unit(cross(sub(P[0],mulv(add(P[1],P[2]),0.5)),sub(P[2],P[1])))
u=unit(sub(P[2],P[1])); w=cross(u,n)
U=[dot(p,u) for p in P]; Wc=[dot(p,w) for p in P]
A=[[3*k,k*sum(U),k*sum(Wc)],[k*sum(U),k*sum(x*x for x in U),k*sum(U[i]*Wc[i] for i in range(3))],[k*sum(Wc),k*sum(U[i]*Wc[i] for i in range(3)),k*sum(x*x for x in Wc)]]
s,a,b=solve3(A,[W,0,0])
di=[s+a*U[i]+b*Wc[i] for i in range(3)]
Pc=[add(P[i],mulv(n,di[i])) for i in range(3)]
nc=unit(cross(sub(Pc[0],mulv(add(Pc[1],Pc[2]),0.5)),sub(Pc[2],Pc[1])))
elev=dot(nc,mulv(Pc[0],-1))
print("W %.6f d_i %s elev %.10f pitch %.10f bank %.10f" % (W, di, elev, math.degrees(math.atan2(nc[2],nc[1])), math.degrees(math.atan2(nc[0],nc[1]))))
print("heights of the uncompressed points", [elev+dot(p,nc) for p in P])
